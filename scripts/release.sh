#!/usr/bin/env bash
# Builds the release a shop installs: build/release/Quillane-<version>-win64.zip
# with Quillane.exe, edbtool.exe, the staff README (Chinese and English) and
# the example rules; the reference Browser.exe goes into tools/ with a note.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh win64
version=$(sed -n 's/^project(Quillane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Quillane-$version-win64
out=build/release
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/tools"
cp build/win64/bin/Quillane.exe build/win64/bin/edbtool.exe "$stage/"
# Text files for Windows users: CR LF line ends, UTF-8 with a byte order mark,
# the version filled in.
to_windows_text() { printf '\xEF\xBB\xBF'; sed "s/@VERSION@/$version/g; s/\$/\r/" "$1"; }
to_windows_text packaging/README-shop.txt >"$stage/README.txt"
# Already UTF-8 with a byte order mark and CR LF, as edbtool writes CSV files.
cp examples/rules.csv "$stage/example-rules.csv"
cp build/win64/bin/Browser.exe "$stage/tools/"
to_windows_text packaging/tools-README.txt >"$stage/tools/README.txt"
(cd "$out" && zip -qr "$name.zip" "$name")
rm -rf "$stage"
echo "release: $root/$out/$name.zip"
unzip -l "$out/$name.zip"
