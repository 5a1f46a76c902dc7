#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Sourced by the two commands of the README.
set -euo pipefail

required_packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  libplist-dev libglib2.0-dev libicu-dev uuid-dev libssl-dev openssl
  libgnustep-gui-dev libgnustep-base-dev gnustep-make libblocksruntime-dev clang
  libclang-rt-dev llvm strace e2fsprogs mount clang-format-14 clang-tidy-14
  libgtk-4-dev libadwaita-1-dev fonts-noto-cjk adwaita-icon-theme
  xvfb xauth xdotool imagemagick libx11-dev
  desktop-file-utils libglib2.0-bin
)

# Real browsers the end-to-end tests install and update. Where one cannot be
# installed its tests report themselves skipped, so the build goes on.
browser_packages=(chromium firefox-esr)
# The file systems of the volume lane (exFAT and NTFS through FUSE, as a
# desktop mounts them); a kind that cannot be installed skips its row.
volume_packages=(xfsprogs btrfs-progs exfatprogs exfat-fuse ntfs-3g)

missing_packages() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$package"
    fi
  done
}

mapfile -t missing_required < <(missing_packages "${required_packages[@]}")
mapfile -t missing_optional < <(missing_packages "${browser_packages[@]}" "${volume_packages[@]}")

if ((${#missing_required[@]} + ${#missing_optional[@]})); then
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then as_root=(sudo); fi
  "${as_root[@]}" apt-get update -qq
  if ((${#missing_required[@]})); then
    echo "Installing: ${missing_required[*]}" >&2
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
      "${missing_required[@]}"
  fi
  for package in "${missing_optional[@]}"; do
    echo "Installing: $package" >&2
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
      "$package" || echo "Could not install $package: its tests will be skipped" >&2
  done
fi
