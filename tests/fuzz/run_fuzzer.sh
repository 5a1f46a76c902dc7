#!/usr/bin/env bash
# Runs one fuzz target for SECONDS on the corpus WORK/corpus, adding the seeds
# of SEEDS to it first (with --fresh, starting from the seeds alone). The
# seeds are only read; new inputs, failing inputs (WORK/findings) and the
# target's temporary files all stay in WORK. Options after SECONDS go to
# libFuzzer.
# Usage: run_fuzzer.sh [--fresh] FUZZER SEEDS WORK SECONDS [OPTION...]
set -euo pipefail
fresh=false
if [[ ${1:-} == --fresh ]]; then fresh=true; shift; fi
if (($# < 4)); then
  echo "usage: $0 [--fresh] FUZZER SEEDS WORK SECONDS [OPTION...]" >&2
  exit 2
fi
fuzzer=$1 seeds=$2 work=$3 seconds=$4
shift 4

if $fresh; then rm -rf "$work"; fi
mkdir -p "$work/corpus" "$work/findings"
rm -rf "$work/tmp"
mkdir "$work/tmp"
trap 'rm -rf "$work/tmp"' EXIT
cp -r "$seeds/." "$work/corpus/"

# An input that takes 10 s, or needs 2 GB, is a fault like a crash.
status=0
TMPDIR="$work/tmp" "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/findings/" -print_final_stats=1 "$@" "$work/corpus" || status=$?
if ((status != 0)); then
  echo "fuzzing failed; the input is kept in $work/findings/, run it again with: $fuzzer FILE" >&2
fi
exit "$status"
