#!/usr/bin/env bash
# Builds Quillane. With no argument: the Windows programs (build/win64), the
# i686 compile check (build/win32), the sanitizer build of the tests (build/asan,
# g++ with ASan and UBSan), the fuzz targets (build/fuzz, clang with libFuzzer,
# ASan and UBSan) and the native build with its tests (build/native), in that
# order. Name one or more of win64 win32 asan fuzz native to build only those.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QUILLANE_JOBS:-$(nproc)}
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

configure() { # dir args...
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  else
    # The toolchain and the compilers are chosen once, by the first
    # configuration; given again, CMake warns that it does not use them.
    local again=() a
    for a in "$@"; do
      case "$a" in
      -DCMAKE_TOOLCHAIN_FILE=* | -DCMAKE_C_COMPILER=* | -DCMAKE_CXX_COMPILER=*) ;;
      *) again+=("$a") ;;
      esac
    done
    cmake "$dir" "${again[@]}" >/dev/null
  fi
}

# QUILLANE_BUILD_TARGETS (targets separated by blanks) builds only those
# targets of each build named, e.g. the programs a run needs.
only=()
[ -n "${QUILLANE_BUILD_TARGETS:-}" ] && only=(--target ${QUILLANE_BUILD_TARGETS})
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(win64 win32 asan fuzz native)
for t in "${targets[@]}"; do
  echo "== build $t"
  case "$t" in
  win64)
    configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build build/win64 -j "$jobs" "${only[@]}" ;;
  win32)
    # Compile check only: 32-bit programs cannot run on these machines.
    configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DQUILLANE_TESTS=OFF \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DCMAKE_C_FLAGS_DEBUG=-O0
    cmake --build build/win32 -j "$jobs" ;;
  asan)
    # g++, because only g++ compiles string literals to GBK as the program needs.
    # -O1 with line tables: quick to build, readable sanitizer reports.
    configure build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
      -DQUILLANE_SANITIZE=ON -DQUILLANE_BENCH=OFF
    cmake --build build/asan -j "$jobs" ;;
  fuzz)
    configure build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DQUILLANE_SANITIZE=ON -DQUILLANE_FUZZ=ON \
      -DQUILLANE_TESTS=OFF -DQUILLANE_BENCH=OFF
    cmake --build build/fuzz -j "$jobs" --target fuzz_all ;;
  native)
    extra=()
    [ -d build/win64/bin ] && extra+=(-DQUILLANE_WIN64_BIN="$root/build/win64/bin")
    [ -d build/asan/bin ] && extra+=(-DQUILLANE_ASAN_BIN="$root/build/asan/bin")
    [ -d build/fuzz/bin ] && extra+=(-DQUILLANE_FUZZ_BIN="$root/build/fuzz/bin")
    configure build/native "${extra[@]}"
    cmake --build build/native -j "$jobs" "${only[@]}" ;;
  *) echo "unknown build $t" >&2; exit 2 ;;
  esac
done
