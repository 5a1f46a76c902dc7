#!/usr/bin/env bash
# Obsolete-copy discovery over a crowded folder: an update (2.0 installed and
# running, the shipped 2.1.0 confirmed at once) into a folder that also holds
# 200 entries, 20 of them older sealed browser copies and 180 that are
# misnamed, not bundles, or something else (see populate_neighbours).
#
# First a counting run: every helper of the copied installer bundle is wrapped
# in a script that logs its arguments, to show which bundles the signature
# check (the codesign helper) ran on. Then timing runs without wrappers, the
# helpers' exec and exit taken from the scheduler's tracepoints (perf, as
# root; without perf the counting runs' wrapper logs are used, less what a
# wrapper adds). Discovery is timed from the replaced bundle's move to the
# Trash (traced; without perf from its retirement tool's exit, so the move is
# in) to the start of the retirement tool run on the first neighbour: listing
# the folder, the cheap tests of 200 entries and the signature checks of those
# that pass them.
#
#   bench/obsolete_copy_discovery.sh [BUILD_DIR]     (default /work/main/build)
set -euo pipefail
source "$(dirname "$0")/update_sandbox.sh"

build_dir=$(cd "${1:-$(dirname "$0")/../build}" && pwd)
readonly runs=${RUNS:-3}

sandbox_begin "$build_dir"
trash="$sandbox/home/.local/share/Trash/files"

fresh_folder() {
  stop_destination_browsers
  rm -rf -- "$apps" "$sandbox/home/.local/share/Trash"
  mkdir "$apps"
  populate_neighbours
}

# From a helper log: "CHECKS NEIGHBOUR_CHECKS WINDOW CHECK_TIME RETIRED
# TRASH_MOVE" for discovery: after the first lsregister run (the replaced
# bundle) and, when traced, its Trash move (the last rename before the first
# check), up to the second lsregister run (the first neighbour). Runs of the
# helper named $3 count as checks, each with $2 seconds of wrapper added.
discovery() {
  awk -v apps="$apps/$browser_name " -v cost="$2" -v check="$3" '
    $1 == "@rename" { renames[++r] = $2; next }
    $1 ~ /^@/ { next }
    $1 == "lsregister" { n++; if (n == 1) first_end = $3; if (n == 2) second_start = $2 }
    { rows[NR] = $0; name[NR] = $1; from[NR] = $2; to[NR] = $3 }
    END {
      first_check = second_start
      for (i = 1; i <= NR; i++) {
        if (name[i] != check || from[i] < first_end || to[i] > second_start) continue
        if (from[i] < first_check) first_check = from[i]
        checks++; check_time += to[i] - from[i] + cost
        if (index(rows[i], " --verify --deep --strict " apps) > 0) neighbours++
      }
      start = first_end
      for (i = 1; i <= r; i++) if (renames[i] > start && renames[i] < first_check) start = renames[i]
      printf "%d %d %.4f %.4f %d %.4f\n", checks, neighbours, second_start - start, check_time, n - 1, start - first_end
    }' "$1"
}

pressure_begin
# The counting run.
wrap_helpers
cost=$(wrapper_cost)
fresh_folder
entries=$(find "$apps" -mindepth 1 -maxdepth 1 | wc -l)
update_once "$sandbox/count.txt"
cp "$helpers_log" "$sandbox/count.log"
read -r checks neighbour_checks window check_time retired _ < <(discovery "$sandbox/count.log" "$cost" codesign)
trashed=$(find "$trash" -mindepth 1 -maxdepth 1 -name "$browser_name 1.*" | wc -l)
left=$(find "$apps" -mindepth 1 -maxdepth 1 | wc -l)
echo "$entries entries beside the installation, 20 of them older sealed copies"
echo "counting run: $(grep -c '^codesign .* --verify' "$sandbox/count.log") signature checks in all;" \
  "$checks in discovery, $neighbour_checks of them on the 20 copies:"
awk '$1 == "codesign" && / --verify / { sub(/.* --strict /, ""); print }' "$sandbox/count.log" |
  sed "s|^$sandbox/||" | sort -V | uniq -c | awk '{ n = $1; $1 = ""; printf "  %d x%s\n", n, $0 }'
echo "  retired $retired neighbours, $trashed of them in the Trash; $left entries left in the folder"
[[ $checks == 20 && $neighbour_checks == 20 && $trashed == 20 ]] ||
  { echo "expected 20 checks, all on the 20 copies, and 20 copies in the Trash" >&2; exit 1; }
unwrap_helpers

if trace_with_perf; then
  method="perf, helpers from exec to exit"
  for ((run = 1; run <= runs; run++)); do
    fresh_folder
    update_once "$sandbox/run$run.txt"
    helpers_from_trace "$sandbox/run$run.txt" >"$sandbox/helpers$run.log"
    discovery "$sandbox/helpers$run.log" 0 codesign >"$sandbox/discovery$run.txt"
  done
else
  method="wrappers, less $(awk -v c="$cost" 'BEGIN { printf "%.1f", c * 1000 }') ms per wrapper run"
  discovery "$sandbox/count.log" "$cost" codesign >"$sandbox/discovery1.txt"
fi
echo "discovery timed with $method:"
for file in "$sandbox"/discovery*.txt; do
  read -r checks _ window check_time _ before <"$file"
  awk -v c="$checks" -v w="$window" -v t="$check_time" -v b="$before" 'BEGIN {
    printf "  %.1f ms: %d signature checks %.1f ms, the rest (listing, cheap tests of 200 entries, spawning) %.1f ms", w * 1000, c, t * 1000, (w - t) * 1000
    if (b > 0) printf "; before it, the Trash move of the replaced bundle %.1f ms", b * 1000
    printf "\n" }'
done
cat "$sandbox"/discovery*.txt | sort -k3,3g | awk '{ w[NR] = $3; t[NR] = $4 } END {
  m = int((NR + 1) / 2)
  printf "median discovery: %.1f ms, of which %.1f ms in the signature checks and %.1f ms the rest\n", w[m] * 1000, t[m] * 1000, (w[m] - t[m]) * 1000 }'
processes=(/proc/[0-9]*)
echo "(${#processes[@]} processes on the machine; every name-matching candidate costs a scan of them)"
pressure_report
