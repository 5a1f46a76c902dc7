#!/usr/bin/env bash
# Times the installer's staging step as it now runs -- the cp helper's copy
# (`cp -cRpP SRC DST`, which starts each file's write-back as it goes), the
# signature check of the copy (`codesign --verify --deep --strict`) and one
# syncfs of the staging volume -- against the least a durable copy costs,
# `cp -a SRC DST && sync -f DST`, in the same run, interleaved, warm cache,
# median of several runs. Also times the alternatives: an fsync of every file
# and folder instead of the syncfs, and the syncfs after a copy that does not
# start the write-back early (`cp -a`); the step as it was before (copy and
# check, no flush); and the helper's copy with the syncfs but without the
# check, which does what the reference does.
#
# Two bundles: one the size of a real browser, built from the files of
# Debian's chromium package (/usr/lib/chromium, about 350 MB in ~70 files),
# and the browser the installer ships.
#
#   bench/staging_flush_vs_cp_sync.sh [BUILD_DIR]     (default: build)
set -euo pipefail

build_dir=$(cd "${1:-$(dirname "$0")/../build}" && pwd)
helpers="$build_dir/QuorvaneInstaller.app/Contents/Helpers"
shipped="$build_dir/QuorvaneInstaller.app/Contents/Resources/Quorvane浏览器.app"
[[ -x $helpers/cp && -x $helpers/codesign ]] || { echo "no helpers in $helpers (build first)" >&2; exit 1; }
[[ -d /usr/lib/chromium ]] || { echo "no /usr/lib/chromium (apt-get install chromium)" >&2; exit 1; }
readonly runs=${RUNS:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/staging-flush-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# A bundle around chromium's files: its program as the main executable, the
# rest as resources, sealed by the codesign helper as a shipped bundle is.
large="$work/chromium/Quorvane浏览器.app"
mkdir -p "$large/Contents/MacOS" "$large/Contents/Resources"
cp -a /usr/lib/chromium/. "$large/Contents/Resources/"
mv "$large/Contents/Resources/chromium" "$large/Contents/MacOS/Quorvane浏览器"
cat >"$large/Contents/Info.plist" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.quorvane.browser</string>
<key>CFBundleExecutable</key><string>Quorvane浏览器</string>
<key>CFBundleShortVersionString</key><string>9.0</string>
</dict></plist>
EOF
"$helpers/codesign" -s - -f --deep "$large"

stage() { mkdir -m 700 "$work/stage"; }
clear_stage() { rm -rf -- "$work/stage"; sync -f "$work"; }
check() { "$helpers/codesign" --verify --deep --strict "$work/stage/Quorvane浏览器.app"; }
helper_copy() { (exec -a /bin/cp "$helpers/cp" -cRpP "$1" "$work/stage/Quorvane浏览器.app"); }
syncfs() { sync -f "$work/stage/Quorvane浏览器.app"; }
# What the installer runs: the helper's copy, the check, one syncfs.
installer_syncfs() {
  stage
  helper_copy "$1"
  check
  syncfs
}
# The alternative: an fsync of every file and folder of the copy.
installer_fsync_each() {
  stage
  helper_copy "$1"
  check
  find "$work/stage/Quorvane浏览器.app" \( -type f -o -type d \) -print0 | xargs -0 sync --
}
# The syncfs without the write-back started during the copy.
late_writeback_syncfs() {
  stage
  cp -a "$1" "$work/stage/Quorvane浏览器.app"
  check
  syncfs
}
# The step as it was before it flushed anything: the copy and the check.
before_no_flush() {
  stage
  helper_copy "$1"
  check
}
# The helper's copy made durable, without the check: what the reference does.
helper_copy_syncfs() {
  stage
  helper_copy "$1"
  syncfs
}
# The reference: a plain copy made durable.
reference() {
  stage
  cp -a "$1" "$work/stage/Quorvane浏览器.app" && syncfs
}

seconds_of() {  # wall seconds of "$@"
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

variants=(reference installer_syncfs installer_fsync_each late_writeback_syncfs before_no_flush helper_copy_syncfs)
for bundle in "$large" "$shipped"; do
  echo "bundle: $bundle: $(find "$bundle" -type f | wc -l) files, $(du -sb "$bundle" | cut -f1) bytes"
  sync -f "$work"
  declare -A times=()
  for ((run = 0; run < runs; run++)); do
    # Each run in another order, so that none always follows the same one.
    for ((i = 0; i < ${#variants[@]}; i++)); do
      variant=${variants[(i + run) % ${#variants[@]}]}
      times[$variant]+="$(seconds_of "$variant" "$bundle"; clear_stage) "
    done
  done
  # Each entry is a list of times, split on purpose.
  # shellcheck disable=SC2086
  reference_median=$(median ${times[reference]})
  for variant in "${variants[@]}"; do
    # shellcheck disable=SC2086
    m=$(median ${times[$variant]})
    printf '  %-22s median %6.3f s  ratio %5.2f  runs: %s\n' "$variant" "$m" \
      "$(awk -v a="$m" -v b="$reference_median" 'BEGIN { print a / b }')" "${times[$variant]}"
  done
  unset times
done
echo "CPU pressure now: $(sed -n 's/^some avg10=\([0-9.]*\).*/\1 % (avg10)/p' /proc/pressure/cpu 2>/dev/null)"
