#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Sourced by the two commands of the README.
set -euo pipefail

required_packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  libplist-dev libglib2.0-dev libicu-dev uuid-dev libssl-dev
  libgnustep-gui-dev libgnustep-base-dev gnustep-make libblocksruntime-dev clang
  libclang-rt-dev llvm strace clang-format-14 clang-tidy-14
  libgtk-4-dev libadwaita-1-dev fonts-noto-cjk adwaita-icon-theme
  xvfb xauth xdotool imagemagick libx11-dev
)

missing_packages=()
for package in "${required_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing_packages+=("$package")
  fi
done

if ((${#missing_packages[@]})); then
  echo "Installing: ${missing_packages[*]}" >&2
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing_packages[@]}"
fi
