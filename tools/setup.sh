#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine (only the packages that
# are missing), then configures and builds the project into build/: everything, or
# only the targets named on the command line (tools/setup.sh kavrinth_road).
set -euo pipefail
cd "$(dirname "$0")/.."

# klayout: the outside GDSII reader of the tests (testing/gds_outside_reader.py).
packages=(cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev hershey-fonts-data libpolyclipping-dev qt6-base-dev xvfb xauth x11-utils poppler-utils
          dpkg-dev file desktop-file-utils shared-mime-info klayout)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${KAVRINTH_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja ${KAVRINTH_CMAKE_ARGS:-}
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
