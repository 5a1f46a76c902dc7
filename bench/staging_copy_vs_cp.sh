#!/usr/bin/env bash
# Times the installer's staging copy -- its bundle's Contents/Helpers/cp run
# exactly as the installer runs it (`cp -cRpP SRC DST`, DST new inside a fresh
# 0700 staging folder) -- against `/bin/cp -a` of the same 300 MB, 5,000-file
# bundle-shaped tree, interleaved, warm cache, median of several runs.
#
#   bench/staging_copy_vs_cp.sh [BUILD_DIR]     (default /work/main/build)
set -euo pipefail

build_dir=${1:-/work/main/build}
helper_cp="$build_dir/QuorvaneInstaller.app/Contents/Helpers/cp"
[[ -x $helper_cp ]] || { echo "no cp helper at $helper_cp (build it first)" >&2; exit 1; }

readonly file_count=5000
readonly total_bytes=$((300 * 1000 * 1000))
readonly runs=${RUNS:-7}

work=$(mktemp -d "${TMPDIR:-/tmp}/staging-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
bundle="$work/Quorvane浏览器.app"

# Deterministic sizes: mostly small files, some medium, a few large ones,
# scaled to add up to exactly total_bytes, spread over folders two to six
# levels deep. One line per file: size and path.
layout() {
  awk -v count="$file_count" -v total="$total_bytes" 'BEGIN {
    seed = 4242
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
      if (i % 5 == 0)      where = sprintf("Contents/Frameworks/F%d.framework/Versions/A/Resources/l%02d/m%d", i % 4, i % 7, i % 3)
      else if (i % 5 == 1) where = sprintf("Contents/Resources/locale/r%02d/LC_MESSAGES", i % 30)
      else                 where = sprintf("Contents/Resources/d%02d", i % 50)
      printf "%d %s/file%04d.bin\n", size, where, i
    }
  }'
}

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
chmod 755 "$bundle/Contents/Resources/d02/file0002.bin"
# Symbolic links as a framework carries them, plus one into the resources.
for f in 0 1 2 3; do
  framework="$bundle/Contents/Frameworks/F$f.framework"
  ln -s A "$framework/Versions/Current"
  ln -s Versions/Current/Resources "$framework/Resources"
done
ln -s ../Resources/d02/file0002.bin "$bundle/Contents/MacOS/Quorvane浏览器"
echo "tree: $(find "$bundle" -type f | wc -l) files, $(find "$bundle" -type l | wc -l) links," \
  "$(find "$bundle" -type d | wc -l) folders, $(du -sb "$bundle" | cut -f1) bytes" >&2

# Each run copies into a new staging folder, as the installer does, and the
# copy is removed and written back before the next run, so that no run pays
# for the previous one's writeback.
stage_with_helper() {  # argv[0] is /bin/cp, as the installer's child-process service passes it
  mkdir -m 700 "$work/stage"
  (exec -a /bin/cp "$helper_cp" -cRpP "$bundle" "$work/stage/Quorvane浏览器.app")
}
copy_with_cp() {
  mkdir -m 700 "$work/stage"
  /bin/cp -a "$bundle" "$work/stage/Quorvane浏览器.app"
}
clear_stage() { rm -rf -- "$work/stage"; sync -f "$work"; }

timed() {  # "WALL CPU" seconds of "$@"; run in a subshell, so that `times` counts only this run
  local start=$EPOCHREALTIME
  "$@"
  local end=$EPOCHREALTIME
  times >"$work/times"  # a builtin with a redirection runs in this shell, unlike one in a pipe
  awk -v a="$start" -v b="$end" 'NR == 2 {
    split($1, u, /[ms]/); split($2, s, /[ms]/)
    printf "%.3f %.3f\n", b - a, u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$work/times"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A warm-up of each, which also checks that the two copies agree.
stage_with_helper
mv "$work/stage" "$work/by-helper"
copy_with_cp
diff -r --no-dereference "$work/by-helper/Quorvane浏览器.app" "$work/stage/Quorvane浏览器.app" >/dev/null \
  || { echo "the two copies differ" >&2; exit 1; }
(cd "$bundle" && find . -printf '%p %y %m %s %T@ %l\n' | sort) >"$work/source.list"
(cd "$work/by-helper/Quorvane浏览器.app" && find . -printf '%p %y %m %s %T@ %l\n' | sort) >"$work/helper.list"
cmp -s "$work/source.list" "$work/helper.list" || { echo "the helper's copy lost modes, sizes or times" >&2; exit 1; }
rm -rf -- "$work/by-helper"
clear_stage

# How disturbed the machine was: the share of the time during which some
# runnable task waited for a processor (0 % on an idle machine).
cpu_stall() { sed -n 's/^some .*total=//p' /proc/pressure/cpu 2>/dev/null || echo 0; }
stall_start=$(cpu_stall) measure_start=$EPOCHREALTIME

helper_walls=() helper_cpus=() cp_walls=() cp_cpus=()
run_helper() { read -r wall cpu < <(timed stage_with_helper); helper_walls+=("$wall"); helper_cpus+=("$cpu"); clear_stage; }
run_cp() { read -r wall cpu < <(timed copy_with_cp); cp_walls+=("$wall"); cp_cpus+=("$cpu"); clear_stage; }
for ((run = 0; run < runs; run++)); do
  # Alternate which goes first, so neither always follows the other's removal.
  if ((run % 2 == 0)); then run_helper; run_cp; else run_cp; run_helper; fi
done

stall=$(awk -v a="$stall_start" -v b="$(cpu_stall)" -v s="$measure_start" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.0f", (b - a) / 1e6 / (e - s) * 100 }')

helper_wall=$(median "${helper_walls[@]}") helper_cpu=$(median "${helper_cpus[@]}")
cp_wall=$(median "${cp_walls[@]}") cp_cpu=$(median "${cp_cpus[@]}")
echo "wall per run (s), helper cp -cRpP: ${helper_walls[*]}"
echo "wall per run (s), /bin/cp -a:      ${cp_walls[*]}"
echo "CPU per run (s),  helper cp -cRpP: ${helper_cpus[*]}"
echo "CPU per run (s),  /bin/cp -a:      ${cp_cpus[*]}"
echo "median helper cp -cRpP: wall ${helper_wall} s, CPU ${helper_cpu} s"
echo "median /bin/cp -a:      wall ${cp_wall} s, CPU ${cp_cpu} s"
awk -v h="$helper_wall" -v c="$cp_wall" -v hc="$helper_cpu" -v cc="$cp_cpu" 'BEGIN {
  printf "ratio of the medians (helper / cp -a): wall %.3f (aim: at most 1.05), CPU %.3f\n", h / c, hc / cc }'
# Each run's two copies ran back to back, so their ratio is the least
# disturbed by a machine whose load drifts.
pair_ratios=()
for ((run = 0; run < runs; run++)); do
  pair_ratios+=("$(awk -v h="${helper_walls[run]}" -v c="${cp_walls[run]}" 'BEGIN { printf "%.3f", h / c }')")
done
echo "wall ratio per run:     ${pair_ratios[*]}"
echo "median of those ratios: $(median "${pair_ratios[@]}")"
echo "CPU pressure while measuring: ${stall} % of the time a task waited for a processor"
