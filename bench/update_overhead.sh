#!/usr/bin/env bash
# The installer's own time over an update, end to end: an older sealed browser
# (2.0) installed and running, the shipped 2.1.0 installed over it, confirmed
# through a pseudo-terminal the moment the question is drawn. From the wall
# time it takes away the 2.0 s stability window of the launch watch, the wall
# time of every helper from its exec to its exit, the driver's own parts and
# the old browser's own exit; what is left is the installer's overhead, shown
# per phase.
#
# The helpers' exec and exit come from the scheduler's tracepoints (perf
# record, as root), which cost the installer nothing. Where perf cannot be
# used, each helper of the copied installer bundle is wrapped in a script that
# logs its start and end, and what a wrapper adds is measured and taken away.
#
#   bench/update_overhead.sh [BUILD_DIR]     (default /work/main/build)
set -euo pipefail
source "$(dirname "$0")/update_sandbox.sh"

build_dir=$(cd "${1:-$(dirname "$0")/../build}" && pwd)
readonly runs=${RUNS:-5}
readonly stability_window=2.0

sandbox_begin "$build_dir"
if trace_with_perf; then
  method=perf cost=0
else
  method=wrappers
  wrap_helpers
  cost=$(wrapper_cost)
fi

# Per run, the phases from the driver's, the tracer's and the helpers' times
# (those marked * only with perf; without it they join the next phase):
#   driver*    start to the installer's exec (the driver forking; not counted)
#   preflight  to the question drawn (loading, two signature checks, the alert)
#   answer     the question drawn to Return written (the driver; not counted)
#   staging    Return to the end of the staged copy's signature check
#   revalidate* then to SIGTERM sent to the old browser
#   exit       then to the old browser's exit (the browser's own; not counted)
#   notice*    then to the exchange (waiting notices the exit; checks)
#   open*      then to the new browser's exec (the open request)
#   watch      then to the first retirement tool (the launch watch, less its
#              2.0 s stability window)
#   retire     then to the installer's exit (old copy unregistered, trashed)
# Each: wall, helper wall, helper runs, own = wall - helpers - wrappers.
phases() {
  local run_file=$1 log=$2
  awk -v cost="$cost" -v window="$stability_window" \
      -v start="$(field "$run_file" start)" -v alert="$(field "$run_file" alert0)" \
      -v answer="$(field "$run_file" answer0)" -v quit="$(field "$run_file" "ended_$old_pid")" \
      -v end="$(field "$run_file" end)" '
    $1 ~ /^@/ { mark[substr($1, 2)] = $2; next }
    { n++; name[n] = $1; from[n] = $2; to[n] = $3 }
    END {
      for (i = 1; i <= n; i++) {
        if (name[i] == "codesign" && from[i] > answer && to[i] < quit) staged = to[i]
        if (name[i] == "lsregister" && !retire) retire = from[i]
      }
      count_phases = split("driver preflight answer staging revalidate exit notice open watch retire", phase, " ")
      split(start " " ("installer" in mark ? mark["installer"] : start) " " alert " " answer " " staged " " \
            ("signal" in mark ? mark["signal"] : staged) " " quit " " ("exchange" in mark ? mark["exchange"] : quit) " " \
            ("browser" in mark ? mark["browser"] : quit) " " retire " " end, bound, " ")
      for (p = 1; p <= count_phases; p++) {
        helpers = 0; count = 0
        for (i = 1; i <= n; i++) if (from[i] >= bound[p] && to[i] <= bound[p + 1]) { helpers += to[i] - from[i]; count++ }
        wall = bound[p + 1] - bound[p]
        own = wall - helpers - count * cost
        if (phase[p] == "watch") own -= window
        if (phase[p] == "answer" || phase[p] == "driver" || phase[p] == "exit") own = 0
        printf "%s %.4f %.4f %d %.4f\n", phase[p], wall, helpers, count, own
        total_own += own; total_helpers += helpers; total_count += count
      }
      printf "total %.4f %.4f %d %.4f\n", end - start, total_helpers, total_count, total_own
    }' "$log"
}

pressure_begin
for ((run = 1; run <= runs; run++)); do
  update_once "$sandbox/run$run.txt"
  if [[ $method == perf ]]; then
    helpers_from_trace "$sandbox/run$run.txt" >"$sandbox/helpers$run.log"
  else
    cp "$helpers_log" "$sandbox/helpers$run.log"
  fi
  phases "$sandbox/run$run.txt" "$sandbox/helpers$run.log" >"$sandbox/phases$run.txt"
  echo "run $run: $(awk '{ own[$1] = $5 } $1 == "total" { printf "wall %.3f s, helpers %.3f s (%d runs), installer overhead %.1f ms", $2, $3, $4, $5 * 1000 }
    END { printf " (of it notice %.1f ms, watch %.1f ms)", own["notice"] * 1000, own["watch"] * 1000 }' "$sandbox/phases$run.txt")"
done

if [[ $method == perf ]]; then
  echo "helpers timed by perf from exec to exit"
else
  echo "helpers timed by wrappers; wrapper cost per helper run (subtracted): $(awk -v c="$cost" 'BEGIN { printf "%.1f ms", c * 1000 }')"
fi
echo "helpers of the last run:"
awk '$1 !~ /^@/ { printf "  %-10s %6.1f ms\n", $1, ($3 - $2) * 1000 }' "$sandbox/helpers$runs.log"
echo "median over $runs runs, per phase (ms):   wall  helpers  own"
for phase in driver preflight answer staging revalidate exit notice open watch retire total; do
  for ((run = 1; run <= runs; run++)); do grep "^$phase " "$sandbox/phases$run.txt"; done |
    awk -v runs="$runs" '{ w[NR] = $2; h[NR] = $3; o[NR] = $5; name = $1 }
      function median(a,   n, i, j, t) {
        n = runs; for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
      END { printf "  %-10s %8.1f %8.1f %6.1f\n", name, median(w) * 1000, median(h) * 1000, median(o) * 1000 }'
done
echo "(own = wall - helpers - wrappers; watch also less the ${stability_window} s window; driver, answer and exit are not the installer's; aim: total own under 100 ms)"
pressure_report
