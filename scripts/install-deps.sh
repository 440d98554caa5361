#!/usr/bin/env bash
# Installs the Debian packages that are missing:
#   install-deps.sh         for a build, `make run` and `make package`;
#   install-deps.sh --test  also the tests' peers and tools, for `make test`, the sanitizer build,
#                           fuzzing, the benchmarks and CI.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest  # the tests are built with everything else
  qt6-base-dev qt6-svg-dev libgl-dev libfontconfig-dev libcups2-dev
  dpkg-dev file   # the hardening flags, dpkg-shlibdeps, and file, which cpack reads binaries with
  ansible-core    # ansible-galaxy builds the collection's tarball
  xvfb xauth      # `xvfb-run -a make run` where there is no display
)
test_packages=(
  clang clang-format
  libclang-rt-dev  # libFuzzer's runtime for `make fuzz`; clang only recommends it
  cups cups-client cups-daemon
  x11-utils socat iproute2 util-linux time
  imagemagick fonts-dejavu-core
  lintian desktop-file-utils appstream bash-completion zsh man-db
  devscripts  # hardening-check
  systemd     # systemd-analyze
  prometheus-node-exporter python3-prometheus-client
)

case "${1:-}" in
  --test) packages+=("${test_packages[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# `make -j test` may run this twice at once: the second waits for the first's lock.
wait_lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${wait_lock[@]}" update -qq
$sudo apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
