#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run both programs.
# Idempotent: when everything is there it says nothing and touches nothing.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
  libmpg123-dev libcurl4-openssl-dev libplist-dev libssl-dev
  libcdio-dev libcdio-paranoia-dev libdiscid-dev nlohmann-json3-dev libavcodec-dev libavutil-dev
  # run time: the encoder, the offscreen and X platforms
  lame libqt6dbus6 qt6-qpa-plugins xvfb xauth
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3
  clang-14 libclang-rt-14-dev
  # end-to-end peers
  icecast2 ffmpeg curl openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# icecast2 asks debconf questions on install; answer them with "no configuration".
echo "icecast2 icecast2/icecast-setup boolean false" | $sudo debconf-set-selections
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
