#!/usr/bin/env bash
# scripts/package-windows on the Windows build: the zip holds exactly the program (window
# program and console companion), its three DLLs, the tools, the sample configuration and
# INSTALL.txt in one folder, every program and DLL is a 64-bit Windows file that needs no
# runtime DLL of the compiler, the window program starts without a console and the companion
# with one, both carry the application manifest, and the DLLs keep their entry points after
# stripping.
# Usage: package_windows_test.sh WORK_DIR
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
zip_file="$work/package.zip"
"$repo/scripts/package-windows" --no-build --out "$zip_file"

expected="$(printf '%s\n' KorvaneAppDownload/ KorvaneAppDownload/INSTALL.txt \
  KorvaneAppDownload/KorvaneAppDownload.exe KorvaneAppDownload/KorvaneAppDownload.com KorvaneAppDownload/Ruduvar9.dll KorvaneAppDownload/RERizu.dll \
  KorvaneAppDownload/RODEdar.dll KorvaneAppDownload/korvane-keygen.exe KorvaneAppDownload/korvane-rsakeys.exe \
  KorvaneAppDownload/korvane-seal.exe KorvaneAppDownload/korvane-records.exe KorvaneAppDownload/sample-config/ \
  $(cd "$repo/res/sample-config" && ls -- *.ini | sed 's|^|KorvaneAppDownload/sample-config/|') | sort)"
listed="$(unzip -Z1 "$zip_file" | sort)"
[ "$listed" = "$expected" ] || fail "the zip holds other files:$(diff <(echo "$expected") <(echo "$listed"))"

mkdir "$work/unpacked"
unzip -q "$zip_file" -d "$work/unpacked"
folder="$work/unpacked/KorvaneAppDownload"
for file in "$folder"/*.exe "$folder"/*.com "$folder"/*.dll; do
  header="$(x86_64-w64-mingw32-objdump -f "$file")"
  grep -q "file format pei-x86-64" <<< "$header" || fail "$(basename "$file") is not a 64-bit Windows file"
  imports="$(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\tDLL Name: //p')"
  if grep -qi -e '^lib' -e 'mingw' <<< "$imports"; then
    fail "$(basename "$file") needs a runtime DLL: $(tr '\n' ' ' <<< "$imports")"
  fi
done
subsystem() { x86_64-w64-mingw32-objdump -p "$folder/$1" | sed -n 's/^Subsystem[[:space:]]*//p'; }
[[ "$(subsystem KorvaneAppDownload.exe)" == *"Windows GUI"* ]] || fail "KorvaneAppDownload.exe would open a console window"
[[ "$(subsystem KorvaneAppDownload.com)" == *"Windows CUI"* ]] || fail "KorvaneAppDownload.com is no console program"
for program in KorvaneAppDownload.exe KorvaneAppDownload.com; do
  for setting in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' '<longPathAware' '<dpiAware'; do
    grep -qaF "$setting" "$folder/$program" || fail "$program has no $setting in its manifest"
  done
  if grep -qaF 'activeCodePage' "$folder/$program"; then fail "$program sets an active code page"; fi
done
exports() { x86_64-w64-mingw32-objdump -p "$folder/$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'; }
for entry in "Ruduvar9.dll CreateChannel" "Ruduvar9.dll ReleaseChannel" "RODEdar.dll sign" "RODEdar.dll verify"; do
  set -- $entry
  exports "$1" | grep -qw "$2" || fail "$1 lost its entry point $2"
done
grep -q $'\r$' "$folder/INSTALL.txt" || fail "INSTALL.txt has no CRLF line ends"
cmp -s "$folder/sample-config/KorvaneAppDownload.ini" "$repo/res/sample-config/KorvaneAppDownload.ini" ||
  fail "the sample configuration differs from res/sample-config"
echo "PASS: $zip_file"
