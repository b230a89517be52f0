#!/usr/bin/env bash
# Builds a static Qt 6 for Windows x64 from Debian's own qt6-base source
# package with the MinGW-w64 posix compiler, into a cache folder outside the
# checkout. The window for Windows (make windows) is built against it.
#
#   scripts/build-qt-windows.sh               build it unless it is there
#   scripts/build-qt-windows.sh --print-prefix  print where it goes, build nothing
#
# KNS_QT_WINDOWS_CACHE sets the cache folder (default ~/.cache/knsimtool).
# The install folder is named by the Qt version and a digest of the build
# options, this script's patch included, so a second run reuses it and a
# changed option builds anew beside it.
#
# The version is the host's qt6-base-dev: a cross build runs the host's moc,
# rcc and uic, whose output must match the libraries it is compiled against.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${KNS_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/knsimtool}
jobs=${JOBS:-$(nproc)}

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
if [ -z "$host_version" ]; then
  echo "build-qt-windows: qt6-base-dev is not installed (make deps installs it)" >&2
  exit 1
fi
# 6.4.2+dfsg-10 -> 6.4.2
qt_version=${host_version%%[+~-]*}

# Only what the window and its test programs need. OpenGL is off (the window
# paints with the raster engine), so dynamicgl goes too; Debian's repack has
# no wintab.h, so tablet events are off. Bundled zlib, pcre2, harfbuzz and
# png: the MinGW sysroot has none of them.
options=(
  -DBUILD_SHARED_LIBS=OFF
  -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_opengl=OFF
  -DFEATURE_dynamicgl=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_testlib=ON
  -DFEATURE_vulkan=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_freetype=OFF
  -DFEATURE_fontconfig=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF
)

# The toolchain is written into the cache with the build, because Qt's own
# toolchain file keeps pointing at it: the cache must not depend on a checkout
# that may move or go.
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
'

# With OpenGL off the Windows platform plugin still asks whether it runs on
# software OpenGL in one place; that question only exists with OpenGL.
patch_qwindowswindow() {
  local f=$1/src/plugins/platforms/windows/qwindowswindow.cpp
  grep -q 'QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)' "$f" && return 0
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$f"
}

digest=$( { printf '%s\n' "$host_version" "${options[@]}" "$toolchain_text"; declare -f patch_qwindowswindow; } \
  | sha256sum | cut -c1-10)
prefix=$cache/qt-$qt_version-win64-static-$digest

if [ "${1:-}" = --print-prefix ]; then
  echo "$prefix"
  exit 0
fi

if [ -f "$prefix/.complete" ]; then
  echo "build-qt-windows: Qt $qt_version for Windows is in $prefix"
  exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source; do
  command -v "$tool" >/dev/null || { echo "build-qt-windows: $tool is missing (make windows-deps)" >&2; exit 1; }
done

# apt-get source needs a deb-src entry. Ours is a file of its own, a copy of
# the system's Debian entries with Types: deb-src, so that removing it undoes
# exactly what we did.
src_list=/etc/apt/sources.list.d/knsimtool-deb-src.sources
have_src() {
  apt-get source --print-uris --only-source "qt6-base=$host_version" 2>/dev/null | grep -q "\.dsc"
}
if ! have_src; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "build-qt-windows: apt has no deb-src entry for qt6-base; as root this script adds $src_list" >&2
    exit 1
  fi
  system_list=/etc/apt/sources.list.d/debian.sources
  if [ -f "$system_list" ]; then
    sed -e 's/^Types:.*/Types: deb-src/' "$system_list" >"$src_list"
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"${src_list%.sources}.list"
    src_list=${src_list%.sources}.list
  fi
  echo "build-qt-windows: added $src_list (the system's Debian entries as deb-src) for apt-get source"
  apt-get update
fi

started=$(date +%s)
work=$cache/work-$qt_version-$digest
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "build-qt-windows: fetching Debian's qt6-base $host_version source"
apt-get source --download-only --only-source "qt6-base=$host_version"
dpkg-source --no-check -x ./qt6-base_*.dsc src >/dev/null
patch_qwindowswindow src

printf '%s' "$toolchain_text" >mingw-w64-x86_64.cmake
mkdir -p "$prefix"
cp mingw-w64-x86_64.cmake "$prefix/mingw-w64-x86_64.cmake"

echo "build-qt-windows: configuring Qt $qt_version for Windows (static, Release) into $prefix"
cmake -S src -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  "${options[@]}" >configure.log 2>&1 || { tail -40 configure.log >&2; exit 1; }

echo "build-qt-windows: building ($jobs jobs; about half an hour on two cores)"
cmake --build build -j "$jobs" >build.log 2>&1 || { grep -m20 -B2 -A8 'error' build.log >&2 || tail -40 build.log >&2; exit 1; }
cmake --install build >install.log 2>&1 || { tail -40 install.log >&2; exit 1; }

took=$(( $(date +%s) - started ))
echo "$qt_version $host_version built in ${took} s on $(nproc) cores" >"$prefix/.complete"
cd "$cache"
rm -rf "$work"
echo "build-qt-windows: done in $(( took / 60 )) min $(( took % 60 )) s: $prefix"
