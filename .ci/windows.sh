#!/usr/bin/env bash
# The Windows DLL: cross-builds vrel.dll for 32- and 64-bit Windows with
# MinGW-w64, checks the export table (fourteen names at ordinals 1 to 14,
# stdcall returns on 32-bit, no runtime DLLs needed) and runs the golden
# program (tests/golden) under Wine against the host's table of digests.
#
# Environment:
#   VREL_JOBS             parallel build jobs (default 2)
#   VREL_TRY_WINE32=0     do not try to install Wine's 32-bit part
#   WINEPREFIX            Wine prefix of the 64-bit run (default
#                         /tmp/vrel-wine-prefix); the 32-bit run uses a
#                         32-bit prefix of its own (VREL_WINE32_PREFIX,
#                         default /tmp/vrel-wine32-prefix)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
jobs=${VREL_JOBS:-2}

bash scripts/install-deps.sh --windows

wine64=$(command -v wine64 || true)
[ -n "$wine64" ] || wine64=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-/tmp/vrel-wine-prefix}

# Wine's paths for a file or directory of this machine (drive Z: is /).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo "==== windows: cross builds"
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

echo "==== windows: export tables"
python3 tests/windows/check_dll_exports.py --objdump i686-w64-mingw32-objdump \
  --dll build/windows-x86/src/vrel.dll --stdcall
python3 tests/windows/check_dll_exports.py --objdump x86_64-w64-mingw32-objdump \
  --dll build/windows-x64/src/vrel.dll

# The golden program, linked against the import library, must give the
# digests of the host's table; the loader finds vrel.dll through WINEPATH.
run_golden() { # <build dir> <wine loader>
  local build=$1 loader=$2
  WINEPATH=$(winpath "$root/$build/src") timeout 600 cmake -DLAUNCHER="$loader" \
    -DPROGRAM="$root/$build/tests/windows/vrel_golden.exe" -DDATA="$root/data/sample" \
    -DOUT="$root/$build/golden-outputs" -DTABLE="$root/tests/golden/golden.sha256" \
    -P tests/golden/check_golden.cmake
}

echo "==== windows: 64-bit golden outputs under Wine"
run_golden build/windows-x64 "$wine64"

# Wine's 32-bit part needs the i386 architecture; it is tried once and the
# architecture is removed again when the install does not go through, so
# that apt keeps working for everything else.
have_wine32() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; }
try_wine32() {
  have_wine32 && return 0
  [ "${VREL_TRY_WINE32:-1}" = 1 ] || return 1
  local added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=1
  fi
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 \
    >/tmp/vrel-wine32-install.log 2>&1 || true
  if have_wine32; then
    return 0
  fi
  if [ "$added" = 1 ] && ! dpkg-query -W -f='${Package}:${Architecture}\n' 2>/dev/null | grep -q ':i386$'; then
    $SUDO dpkg --remove-architecture i386
    $SUDO apt-get update -qq >/dev/null 2>&1 || true
  fi
  return 1
}

# Installed is not enough: the 32-bit loader is an i386 Linux program, and a
# kernel built without 32-bit emulation refuses to start it.
wine32=/usr/lib/wine/wine
echo "==== windows: 32-bit golden outputs under Wine"
if ! try_wine32; then
  echo "skipped: Wine's 32-bit part (wine32:i386) cannot be installed on this machine" \
       "(see /tmp/vrel-wine32-install.log); the 32-bit DLL was checked statically above"
elif ! "$wine32" --version >/dev/null 2>&1; then
  echo "skipped: wine32:i386 is installed but this machine's kernel does not run 32-bit" \
       "x86 programs (exec format error: no IA32 emulation); the 32-bit DLL was checked" \
       "statically above"
else
  # A 64-bit prefix made before wine32 was installed has no 32-bit system
  # DLLs (kernel32 fails to load), so the 32-bit programs get a 32-bit
  # prefix of their own.
  WINEARCH=win32 WINEPREFIX=${VREL_WINE32_PREFIX:-/tmp/vrel-wine32-prefix} \
    run_golden build/windows-x86 "$wine32"
fi
echo "==== windows: all checks passed"
