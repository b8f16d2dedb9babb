# Compiler flags shared by every target.
#
# Text inside the program is GBK bytes: every narrow string literal is
# compiled to GBK, so "数据库" in a UTF-8 source file becomes CA FD BE DD BF E2.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # clang knows no execution character set but UTF-8, so its build (the fuzz
  # build) keeps UTF-8 literals; code that needs exact GBK bytes there can test
  # QUILLANE_UTF8_LITERALS. The sanitizer twins of the unit tests are built
  # with g++, whose literals are GBK like the real program's.
  add_compile_options(-Wall -Wextra -Werror)
  add_compile_definitions(QUILLANE_UTF8_LITERALS=1)
else()
  add_compile_options(-Wall -Wextra -Werror -fexec-charset=GBK -finput-charset=UTF-8)
  # g++ 12 reports false overlaps in std::string concatenation at -O2 and
  # above ("literal" + std::string); the warning is off for it alone.
  if(CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
  endif()
endif()

if(WIN32)
  # Target Windows 7 and later; no implicit A/W choice: the code names W or A.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
  # One self-contained program: the C and C++ runtimes and winpthreads linked in.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(QUILLANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Links a Windows GUI program (no console window).
function(quillane_gui_program target)
  if(WIN32)
    target_link_options(${target} PRIVATE -mwindows)
  endif()
endfunction()

if(QUILLANE_FUZZ)
  # Coverage feedback for the libraries the fuzz targets link.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
