#!/usr/bin/env bash
# Peak resident memory of the installer process itself over an update (2.0
# installed and running, the shipped 2.1.0 confirmed at once through a
# pseudo-terminal): VmHWM of /proc/PID/status, the high-water mark of its own
# address space with all its threads. The helpers and the browsers are other
# processes and are not in it. Sampled every 2 ms; the held runs run the
# installer under strace, which holds it 0.3 s at exit_group, so that the last
# sample comes after all its work. Each scenario: a plain update, and one whose
# folder also holds 200 entries with 20 older copies to retire, and one whose
# new bundle holds a 300 MB file.
# For comparison it also shows what wait4 (like /usr/bin/time -v) reports for
# an unheld run: the larger of the installer's peak and the biggest helper's.
#
#   bench/installer_peak_memory.sh [BUILD_DIR]     (default /work/main/build)
set -euo pipefail
source "$(dirname "$0")/update_sandbox.sh"

build_dir=$(cd "${1:-$(dirname "$0")/../build}" && pwd)

sandbox_begin "$build_dir"
new_bundle="$installer_bundle/Contents/Resources/$browser_name.app"

measure() {  # scenario-name driver-flags...
  local scenario=$1 out="$sandbox/$1.txt"
  shift
  update_once "$out" --memory "$@"
  awk -v name="$scenario" -F= '
    { v[$1] = $2 }
    END {
      printf "%-22s installer VmHWM %4.1f MB (largest VmRSS seen %4.1f MB: %4.1f anonymous, %4.1f file-backed)", name,
        v["installer_vmhwm_kb"] / 1024, v["installer_vmrss_max_kb"] / 1024, v["installer_rss_anon_kb"] / 1024, v["installer_rss_file_kb"] / 1024
      if ("wait4_maxrss_kb" in v) printf "; wait4 maxrss %4.1f MB", v["wait4_maxrss_kb"] / 1024
      printf "\n"
    }' "$out"
}

pressure_begin
echo "peak resident memory (MB = 1024 kB; aim: installer under 20 MB):"
measure "update"
measure "update, held at exit" --hold-exit
stop_destination_browsers
rm -rf -- "$apps"
mkdir "$apps"
populate_neighbours
measure "update + 200 entries" --hold-exit
# A new bundle holding one 300 MB file (sealed again): the installer walks,
# verifies and stages it through the shared POSIX layer, whose digests
# stream through a fixed buffer, so its peak must not grow with the file
# (aim: under 16 MB).
stop_destination_browsers
rm -rf -- "$apps"
mkdir "$apps"
# The shipped browser has no Resources folder of its own.
mkdir "$new_bundle/Contents/Resources"
head -c 300M /dev/urandom >"$new_bundle/Contents/Resources/large.bin"
"$seal_tool" -s - -f --deep "$new_bundle"
hand_over
measure "update, one 300 MB file" --hold-exit
rm -r -- "$new_bundle/Contents/Resources"
"$seal_tool" -s - -f --deep "$new_bundle"
echo "the largest helper run in such an update, for comparison (maxrss from wait4):"
/usr/bin/time -o "$sandbox/time.txt" -f "  codesign --verify --deep --strict: %M kB" \
  "$installer_bundle/Contents/Helpers/codesign" --verify --deep --strict "$destination"
cat "$sandbox/time.txt"
mkdir -m 700 "$sandbox/stage"
/usr/bin/time -o "$sandbox/time.txt" -f "  cp -cRpP:                          %M kB" \
  "$installer_bundle/Contents/Helpers/cp" -cRpP "$new_bundle" "$sandbox/stage/$browser_name.app"
cat "$sandbox/time.txt"
pressure_report
