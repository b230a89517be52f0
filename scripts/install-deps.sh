#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# As root it runs apt-get itself (one update, then one install); otherwise it
# prints the line to run. Called by the Makefile only when something is missing.
# With --windows it installs instead what the Windows build and its tests
# under wine need (scripts/install-windows-deps.sh).
set -eu

if [ "${1:-}" = --windows ]; then
  # The MinGW-w64 cross compiler (the posix-threads flavour, for
  # std::thread), wine, and the GoogleTest sources, which are compiled with
  # the cross compiler. Installing starts no wine program. Wine runs only
  # through scripts/wine-run.sh and scripts/test-windows.sh, each inside a
  # private mount namespace (unshare --mount --propagation private) in which
  # /dev/ttyS0, this machine's console and wine's COM1, is covered by an
  # empty file. wine-binfmt (only suggested, and recommends are not
  # installed) stays out, so that no .exe can start wine by itself outside
  # that namespace.
  # The window for Windows also needs: the .ico made from the SVG drawings
  # (rsvg-convert, ImageMagick); NSIS and zip for the setup program and the
  # portable archive, and cmark-gfm for the help page both carry (the README
  # as HTML; its tables are GitHub tables, which plain cmark does not know); a virtual display with a window manager for the
  # window's tests under wine, xdotool to find wine's windows there, and
  # wine's own fonts (a recommended package, so named here).
  packages=(
    g++-mingw-w64-x86-64-posix
    wine wine64 fonts-wine
    googletest
    librsvg2-bin imagemagick
    nsis zip unzip cmark-gfm
    xvfb xauth openbox x11-apps xdotool
  )
else
packages=(
  cmake ninja-build g++ make pkg-config python3
  qt6-base-dev qt6-qpa-plugins libxcb1-dev
  # the window's pictures, drawn as PNG from their SVG files at build time
  librsvg2-bin
  # the screen's own pixels (its platform screen) for the window placement
  qt6-base-private-dev
  libgtest-dev
  clang libclang-rt-14-dev
  xvfb x11-apps imagemagick xauth
  openbox util-linux
  fonts-dejavu-core
  dpkg-dev fakeroot file lintian desktop-file-utils man-db
  # a serial device server: the tests start their own instance in front of
  # the emulator on 127.0.0.1; its packaged service is never started
  ser2net
  # the test-plan reader of knsimtool-cli (header-only, also staged for the
  # Windows build)
  libtomlplusplus-dev
)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
