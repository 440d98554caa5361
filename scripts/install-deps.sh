#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and `make run` need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format pkg-config
  libclang-rt-dev  # libFuzzer's runtime for `make fuzz`; clang only recommends it
  libgtest-dev libgmock-dev googletest
  qt6-base-dev libgl-dev libfontconfig-dev
  libcups2-dev cups cups-client cups-daemon
  xvfb xauth x11-utils socat iproute2 util-linux time
  imagemagick fonts-dejavu-core
  ansible-core
  qt6-svg-dev dpkg-dev lintian desktop-file-utils appstream bash-completion zsh file man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
