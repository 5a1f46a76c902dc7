#!/usr/bin/env bash
# Times `codesign --verify --deep --strict` of a 300 MB, 5,000-file bundle
# against hashing the same files with sha256sum, warm cache, best of a few runs.
#
#   bench/codesign_vs_sha256.sh [BUILD_DIR]     (default /work/main/build)
set -euo pipefail

build_dir=${1:-/work/main/build}
codesign="$build_dir/QuorvaneInstaller.app/Contents/Helpers/codesign"
[[ -x $codesign ]] || { echo "no codesign helper at $codesign (build it first)" >&2; exit 1; }

readonly file_count=5000
readonly total_bytes=$((300 * 1000 * 1000))
readonly runs=3

work=$(mktemp -d "${TMPDIR:-/tmp}/codesign-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
bundle="$work/Bench.app"

# Deterministic sizes: mostly small files, some medium, a few large ones, scaled
# so that they add up to exactly total_bytes. One line per file: size and path.
layout() {
  awk -v count="$file_count" -v total="$total_bytes" 'BEGIN {
    seed = 12345
    for (i = 0; i < count; i++) {
      seed = (seed * 1103515245 + 12345) % 2147483648
      r = seed / 2147483648
      if (r < 0.70)      weight[i] = 1024 + int(r * 20000)
      else if (r < 0.95) weight[i] = 16384 + int((r - 0.70) * 1000000)
      else               weight[i] = 1048576 + int((r - 0.95) * 140000000)
      sum += weight[i]
    }
    left = total
    for (i = 0; i < count; i++) {
      size = (i == count - 1) ? left : int(weight[i] * total / sum)
      left -= size
      if (i % 5 == 0) where = sprintf("Contents/Frameworks/F%d.framework/Contents/Resources/d%02d", i % 4, i % 7)
      else            where = sprintf("Contents/Resources/d%02d", i % 50)
      printf "%d %s/file%04d.bin\n", size, where, i
    }
  }'
}

# One deterministic byte stream, cut into the files in order.
stream() {
  if command -v openssl >/dev/null; then
    openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 0 </dev/zero 2>/dev/null
  else
    yes "Quorvane bench data, deterministic and repeatable"
  fi
}

echo "building $file_count files, $total_bytes bytes, in $bundle" >&2
mkdir -p "$bundle/Contents/MacOS"
printf '<plist/>\n' >"$bundle/Contents/Info.plist"
layout | while read -r _ path; do echo "$bundle/${path%/*}"; done | sort -u | xargs -d '\n' mkdir -p
{
  while read -r size path; do head -c "$size" >"$bundle/$path" <&3; done < <(layout)
} 3< <(stream)
ln -s ../Resources/d00/file0001.bin "$bundle/Contents/MacOS/first"
"$codesign" -s - --deep "$bundle"
echo "sealed $(find "$bundle" -type f | wc -l) files, $(du -sb "$bundle" | cut -f1) bytes" >&2

best_of() {  # best wall time in seconds of $runs runs of "$@", after a warm-up
  "$@" >/dev/null
  local best="" start elapsed
  for ((run = 0; run < runs; run++)); do
    start=$EPOCHREALTIME
    "$@" >/dev/null
    elapsed=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
    if [[ -z $best ]] || awk -v e="$elapsed" -v b="$best" 'BEGIN { exit !(e < b) }'; then best=$elapsed; fi
  done
  echo "$best"
}

verify_bundle() { "$codesign" --verify --deep --strict "$bundle"; }
hash_files() { find "$bundle" -type f -print0 | xargs -0 sha256sum; }

verify_time=$(best_of verify_bundle)
hash_time=$(best_of hash_files)
echo "codesign --verify --deep --strict: ${verify_time} s"
echo "find | xargs sha256sum:            ${hash_time} s"
awk -v v="$verify_time" -v h="$hash_time" 'BEGIN { printf "ratio (codesign / sha256sum):      %.2f\n", v / h }'
