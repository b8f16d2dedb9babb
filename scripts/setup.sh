#!/usr/bin/env bash
# Installs everything a fresh Debian machine needs to build, run and test Quillane.
# Does nothing (and needs no network) when everything is already there.
set -euo pipefail

packages=(
  g++ cmake make ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth x11-utils xdotool
  locales fonts-wqy-zenhei imagemagick python3 zip unzip
  sqlite3 libsqlite3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The end-to-end tests run with code page 936 (zh_CN) and with en_US.
need_locale() { locale -a 2>/dev/null | grep -qi "^$1$"; }
if ! need_locale 'zh_CN.utf8' || ! need_locale 'en_US.utf8'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  for l in 'zh_CN.UTF-8 UTF-8' 'zh_CN.GBK GBK' 'en_US.UTF-8 UTF-8'; do
    grep -q "^$l" /etc/locale.gen 2>/dev/null || echo "$l" | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  done
  $sudo_cmd locale-gen >/dev/null
fi
