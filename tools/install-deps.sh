#!/usr/bin/env bash
# Installs what building, running and testing Vesko needs on Debian.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
  cmake ninja-build g++ pkg-config      # build
  libgtest-dev python3                  # unit and command-line tests
  clang libclang-rt-14-dev              # fuzzer and sanitizer runtimes
  qt6-base-dev fonts-ipafont-gothic     # VeskoLite: Qt 6 Widgets, a Japanese font for its texts
)
if [ "${1:-}" = "--with-encoders" ]; then
  # Only to regenerate the fixture corpus (tests/fixtures/make_fixtures.sh)
  # and to run the benchmark against mediainfo.
  packages+=(ffmpeg lame twolame flac wavpack vorbis-tools speex imagemagick sox libimage-exiftool-perl
             musepack-tools midicsv mkvtoolnix mediainfo)
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"
