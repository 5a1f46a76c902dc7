#!/usr/bin/env bash
# Tries to break the installer and writes what held to docs/RELIABILITY.md:
# the whole fault sweep (every injection point of every scenario, a crash,
# three errors and, as root, a power cut), the fuzz targets for a longer
# time, the races and the hostile paths, and the unit tests under
# ThreadSanitizer (build/tsan, the preset tsan).
# Usage: scripts/reliability-report.sh [fuzz seconds per target, 60]
# Takes about an hour on two cores, with nothing else running browsers of this
# user meanwhile (a fresh installation takes any of them for the old one);
# builds first.
set -euo pipefail
project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$project_dir/build}
fuzz_seconds=${1:-60}
"$project_dir/scripts/build.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/reliability-XXXXXX")
trap 'rm -rf "$work"' EXIT
report=$project_dir/docs/RELIABILITY.md
started=$(date -u +%Y-%m-%dT%H:%MZ)

# The sweep: every point, one line per run.
sweep_status=0
for sweeps in 'FaultSweep.Fresh*' 'FaultSweep.Update*' 'FaultSweep.FailedLaunch*'; do
  QRVX_FAULT_POINTS=0 QRVX_FAULT_REPORT=$work/faults.tsv \
    "$build_dir/tests/faults/installer_fault_tests" --gtest_filter="$sweeps" \
    >>"$work/faults.log" 2>&1 || sweep_status=$?
done

# Races and hostile paths: the end-to-end tests that try them.
race_status=0
ctest --test-dir "$build_dir" -R 'RacingInstallers|HostilePaths|RetirementRaces' --output-on-failure \
  >"$work/races.log" 2>&1 || race_status=$?

# The fuzz targets, longer than the test command runs them.
fuzz_status=0
: >"$work/fuzz.tsv"
for seeds in "$project_dir"/tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  status=0
  BUILD_DIR=$build_dir "$project_dir/scripts/fuzz.sh" "$target" "$fuzz_seconds" \
    >"$work/fuzz-$target.log" 2>&1 || status=$?
  ((status == 0)) || fuzz_status=$status
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz-$target.log" | tail -n1)
  printf '%s\t%s\t%s\n' "$target" "${runs:-?}" "$( ((status == 0)) && echo 'no finding' || echo "failed ($status)")" \
    >>"$work/fuzz.tsv"
done

# The unit tests under ThreadSanitizer: the backend's launch thread, main
# queue and exit registry, with the logic that drives them.
tsan_dir=$build_dir/tsan
tsan_status=0
{
  cmake -S "$project_dir" --preset tsan -B "$tsan_dir" &&
    cmake --build "$tsan_dir" --target installer_unit_tests -j "$(nproc)" &&
    (cd "$project_dir" && ctest --preset tsan --test-dir "$tsan_dir" -j "$(nproc)")
} >"$work/tsan.log" 2>&1 || tsan_status=$?

{
  echo "# Reliability report"
  echo
  echo "Written by \`scripts/reliability-report.sh $fuzz_seconds\` (started $started, finished"
  echo "$(date -u +%Y-%m-%dT%H:%MZ), on $(nproc) cores, $(uname -sr), $(strace -V | head -n1))."
  echo "Nothing in this file is written by hand; run the command again to refresh it."
  echo
  echo "## Faults from outside the process"
  echo
  echo "Each scenario runs the built installer bundle under \`strace -f\` with"
  echo "\`--inject=CALL:signal=KILL:when=N\` (a crash) or \`error=EIO\`, \`error=ENOSPC\`,"
  echo "\`error=EACCES\` (an error), one injection point per run. The points come from a run of"
  echo "the scenario without a fault: for every system call below that changes the file system or"
  echo "another process, every invocation number some process of the run reached (strace counts"
  echo "per process, so a point strikes the installer, its helpers and the browser it launches"
  echo "alike); \`openat\` counts only where it opens for writing or creating."
  echo
  echo "After every run: at the destination the complete old bundle (the very directory, and it"
  echo "verifies) or the complete new one (it verifies, new version), or nothing for a fresh"
  echo "installation; the old bundle exactly once, at the destination, in a staging folder or in"
  echo "the Trash, and intact; the data folder (\`QRVX_DATA_ROOT\`) unchanged; the install"
  echo "folder's lock free once the installer and its helpers are gone. After a crash the"
  echo "installer runs again and must install normally over whatever was left. After an error"
  echo "it must have ended with exit 0, or exit 1 after its failure alert with that text as the"
  echo "one line on standard error, and a staging folder may survive only when the last alert"
  echo "names it."
  echo
  echo "The power cut (root only; skipped otherwise) runs each scenario on an ext4 volume of its"
  echo "own on a loop device, every bundle carrying 8 MB of resources, the older version settled"
  echo "on the disk before the run. The crash at one invocation is followed at once by the cut:"
  echo "the going-down ioctl without journal flush, so whatever was not on the disk is lost, then"
  echo "unmount and mount again (the journal commits every second). The point \`none\` is the run"
  echo "without a crash, cut 3 s after the installer ended. After every cut the invariant above"
  echo "must hold, a run that had ended with exit 0 must have left the new bundle at the"
  echo "destination, and a normal installation over what was left must succeed."
  echo
  if [[ -s $work/faults.tsv ]]; then
    echo "| Scenario | Fault | Points | Reached | Installed | Ended with its message | Killed | Held |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|"
    awk -F'\t' '
      { key = $1 "|" $2; if (!(key in points)) order[++n] = key
        points[key]++; if ($5 == "reached") reached[key]++
        if ($6 == "installed") installed[key]++
        else if ($6 ~ /^exit 1/) failed[key]++
        else if ($6 == "killed") killed[key]++
        if ($7 == "held") held[key]++ }
      END { for (i = 1; i <= n; i++) { k = order[i]; split(k, p, "|")
              printf "| %s | %s | %d | %d | %d | %d | %d | %d |\n", p[1], p[2], points[k],
                reached[k], installed[k], failed[k], killed[k], held[k] } }' "$work/faults.tsv"
    echo
    echo "Injection points by system call (summed over the four faults):"
    echo
    echo "| System call | Fresh installation | Update, old browser running | Update whose launch fails |"
    echo "|---|---:|---:|---:|"
    awk -F'\t' '
      { if (!($3 in seen)) { seen[$3] = 1; calls[++n] = $3 }
        count[$3 "|" $1]++ }
      END { for (i = 1; i <= n; i++) { c = calls[i]
              printf "| `%s` | %d | %d | %d |\n", c, count[c "|fresh installation"],
                count[c "|update, old browser running"], count[c "|update whose launch fails"] } }' \
      "$work/faults.tsv"
    echo
    echo "How the runs with an error ended:"
    echo
    echo "| Ending | Runs |"
    echo "|---|---:|"
    awk -F'\t' '$2 != "SIGKILL" && $2 != "power cut" { ending[$6]++ } END { for (e in ending) printf "| %s | %d |\n", e, ending[e] }' \
      "$work/faults.tsv" | sort
    echo
    violations=$(awk -F'\t' '$7 != "held"' "$work/faults.tsv")
    if [[ -z $violations ]]; then
      echo "The invariant held after every run (sweep exit status $sweep_status)."
    else
      echo "Runs where it did not hold (sweep exit status $sweep_status):"
      echo
      echo '```'
      echo "$violations"
      echo '```'
    fi
  else
    echo "The sweep wrote no results (exit status $sweep_status); its log ends:"
    echo
    echo '```'
    tail -n 20 "$work/faults.log"
    echo '```'
  fi
  echo
  echo "## Races and hostile paths"
  echo
  echo "Twenty pairs of installers confirmed together (exactly one installs, the other ends with"
  echo "\"另一个安装程序正在运行。\"); build folders swapped for a link or made group-writable between"
  echo "listing and use, and copies replaced after verification (never entered, never trashed);"
  echo "paths with spaces, quotes, a line feed, a leading dash, backslashes, terminal escapes and"
  echo "non-ASCII names (reaching the helpers as single arguments, unchanged in every message but for"
  echo 'line feeds shown as `\n` and other control characters as U+FFFD):'
  echo
  echo "| Test | Result |"
  echo "|---|---|"
  sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) \.*[* ]*\([A-Za-z]*\).*/| `\1` | \2 |/p' "$work/races.log"
  echo
  echo "ctest exit status $race_status."
  echo
  # The hostile bundles tried: each a row of the tests the suite runs.
  cat <<'EOF'
## Hostile bundles

What a hostile local user or the maker of a hostile download tried, and how it ends. Each is a
row of the end-to-end verification table (`e2e.BundleVerification.*`), of the transaction
tests, of the codesign helper's tests or of the `property_list` fuzz seeds.

| Tried | Outcome |
|---|---|
| a new bundle with an entry writable by group or others, or a setuid/setgid executable | "应用签名校验失败。" naming the bundle, before anything is copied; the staged copy is judged again; an installed copy with such modes can still be replaced |
| the main executable a chain of sealed links, each link's text inside the bundle, the chain leading out | the codesign helper's strict check resolves each link beneath the bundle and refuses it; the installer also resolves the executable and Info.plist and refuses what lies outside ("应用签名校验失败。"), at verification and again before each launch, the restart of the old browser included |
| `CFBundleExecutable` climbing out of `Contents/MacOS` (`../../…`) | "不是可识别的Quorvane浏览器应用包。"; the host never launches or lists such a name |
| the source replaced and re-sealed in place during the dialog, same version | the staged seal's SHA-256 differs from the one recorded at pre-flight: "确认后应用或进程已发生变化，请重新打开安装程序。", nothing exchanged |
| ESC, BEL and other controls in a folder name | the failure line on standard error passes the terminal alert's filter (U+FFFD); the helpers escape C0 and C1 controls and bytes that are no UTF-8 |
| a line feed in a folder name | shown as `\n` in every alert text and the failure line, so it cannot pose as a line |
| `Contents/Info.plist` a link to an outside file, or above 1 MiB | not read (opened beneath the bundle without following links, size checked first): "不是可识别的Quorvane浏览器应用包。" |
| a Dock tile label with a control character | a binary preferences file stays binary; an XML one that cannot hold the value is left untouched |
| a relative `XDG_DATA_HOME` (or other base-directory variable) | unset at start-up, so the Trash, the registry and the launched browser use the default folders |

EOF
  echo "## Hostile input: fuzz targets"
  echo
  echo "Each target for $fuzz_seconds s (\`scripts/fuzz.sh TARGET $fuzz_seconds\`), from the seeds in"
  echo "\`tests/fuzz/corpus/TARGET\` and what earlier runs added, under AddressSanitizer and"
  echo "UndefinedBehaviorSanitizer; a crash, a leak, undefined behaviour, an exception other than"
  echo "the installer's own, 10 s for one input or 2 GB of memory counts as a finding."
  echo
  echo "| Target | Inputs run | Result |"
  echo "|---|---:|---|"
  awk -F'\t' '{ printf "| `%s` | %s | %s |\n", $1, $2, $3 }' "$work/fuzz.tsv"
  echo
  echo "## Threads: ThreadSanitizer"
  echo
  echo "The unit tests built with clang and \`-fsanitize=thread\` (\`cmake --preset tsan\`, in"
  echo "\`build/tsan\`) and run by \`ctest --preset tsan\`: the host backend's launch thread, main queue"
  echo "and exit registry, and the logic that uses them. A data race or a lock-order inversion fails"
  echo "the test it occurs in."
  echo
  echo "- $(grep -E 'tests passed|No tests were found' "$work/tsan.log" | tail -n1 || echo 'no test ran')"
  echo "- reports of ThreadSanitizer: $(grep -c 'WARNING: ThreadSanitizer' "$work/tsan.log" || true)"
  echo "- exit status $tsan_status"
  if ((tsan_status != 0)); then
    echo
    echo '```'
    grep -E -A12 'WARNING: ThreadSanitizer|\*\*\*Failed|Error' "$work/tsan.log" | head -n 60
    echo '```'
  fi
} >"$report"
echo "wrote $report" >&2
exit $((sweep_status || race_status || fuzz_status || tsan_status))
