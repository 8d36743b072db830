#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the tools need.
# Safe to run repeatedly: only packages that are missing are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  liblcms2-dev libtiff-dev libpng-dev libjpeg-dev
  libcli11-dev nlohmann-json3-dev libgs-common
  # the orientation tag of a camera's EXIF data
  libexif-dev
  # the codecs that compress the converted TIFF's strips in parallel
  zlib1g-dev libdeflate-dev libzstd-dev
  # scripts/bench-convert.sh: lcms2's tificc, libtiff's tiffcp and GNU time
  liblcms2-utils libtiff-tools time
  # the CUPS raster filter (development files) and its end-to-end tests
  # (cupsfilter, the renderers pdftoraster and imagetoraster, CUPS's documentation,
  # cupstestppd for the PPDs that vrel ppd writes)
  libcups2-dev libcupsimage2-dev
  cups cups-filters cups-server-common cups-client
  # oneTBB's parallel_pipeline (the convert command's pipeline of bands), libfmt (text output)
  libtbb-dev libfmt-dev
  # Gutenprint's printer drivers behind the bridge filter, and its tests in a real queue
  # (the scheduler cupsd, lpadmin and lp; pdfunite joins a multi-page PDF)
  printer-driver-gutenprint cups-daemon poppler-utils
  # the Python module: pybind11, the Python headers, numpy and pytest
  pybind11-dev python3-dev python3-numpy python3-pytest
  # the Python example: Pillow (ImageCms for lcms2) and matplotlib
  python3-pil python3-matplotlib
  # scripts/measure-grids.sh: the photographs of scikit-image
  python3-skimage
)
# --fuzz: clang with libFuzzer and the sanitizers' runtime (.ci/fuzz.sh);
# --all adds gcovr for scripts/fuzz-coverage.sh.
# --windows: the MinGW-w64 cross compilers for vrel.dll and Wine to run it.
for arg in "$@"; do
  case "$arg" in
  --fuzz) packages+=(clang-14 libclang-rt-14-dev llvm-14) ;;
  --all) packages+=(clang-14 libclang-rt-14-dev llvm-14 gcovr) ;;
  --windows) packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine64) ;;
  esac
done
if [ "${VREL_DEPS_ALL:-0}" = 1 ]; then
  packages+=(clang-14 libclang-rt-14-dev llvm-14 gcovr)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
