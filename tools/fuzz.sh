#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang 14, ASan and UBSan,
# over the fake Windows) and runs each for the given number of seconds,
# one after the other:
#
#   tools/fuzz.sh            30 s per target (CI)
#   tools/fuzz.sh 600        a long run
#   tools/fuzz.sh 60 install_run remove_all    only these targets
#
# Each target starts from its seeds in fuzz/corpus/<target>/ and keeps what
# it learns in build/fuzz/corpus/<target>/ (the seeds in the source tree are
# never changed). A crash, a broken invariant, a leak or a hang is a finding:
# its input is saved under build/fuzz/findings/<target>/ and the script ends
# with status 1 once every target has run (as does a run stopped from
# outside). Executions per target are printed.
# JOBS (default 2) limits the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
# 0 would mean "for ever" to libFuzzer.
case "$seconds" in '' | *[!0-9]* | 0) echo "usage: tools/fuzz.sh [seconds-per-target] [target...]" >&2; exit 2 ;; esac
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(command_line response_file version media_search install_run remove_all)

if ! command -v clang++-14 >/dev/null; then
  echo "fuzz: clang++-14 is missing: apt-get install -y clang-14 libclang-rt-14-dev" >&2
  exit 2
fi

# One build at a time in build/fuzz, also when several runs start together.
mkdir -p build/fuzz
exec 9>build/fuzz/.build-lock
flock 9
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${JOBS:-2}"
exec 9>&-

# The longest input each target takes.
max_len() {
  case "$1" in
    version) echo 256 ;;
    command_line) echo 512 ;;
    *) echo 4096 ;;
  esac
}

# A smaller quarantine and shorter allocation stacks than AddressSanitizer's
# defaults: the targets allocate many small strings, and fresh pages for
# each of them would halve the executions per second.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=4:max_malloc_fill_size=256}"

found=0
interrupted=0
total=0
summary=()
for target in "${targets[@]}"; do
  binary="build/fuzz/fuzz/fuzz_$target"
  [ -x "$binary" ] || { echo "fuzz: no target $target" >&2; exit 2; }
  work="build/fuzz/corpus/$target"
  findings="build/fuzz/findings/$target"
  log="build/fuzz/logs/$target.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
  echo "== fuzz_$target for ${seconds}s"
  status=0
  "$binary" "$work" "fuzz/corpus/$target" "${dict[@]}" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 \
    -error_exitcode=77 -timeout_exitcode=78 -interrupted_exitcode=72 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  runs="${runs:-0}"
  total=$((total + runs))
  if [ "$status" -eq 72 ]; then
    # Stopped from outside (a cancelled job): no finding, but no full run.
    interrupted=1
    echo "fuzz_$target: interrupted after $runs executions"
    summary+=("fuzz_$target: $runs executions, interrupted")
  elif [ "$status" -ne 0 ]; then
    found=1
    echo "fuzz_$target: FINDING after $runs executions (status $status); log $log"
    grep -E 'invariant broken|ERROR: |SUMMARY: |Test unit written to' "$log" | head -20 || true
    summary+=("fuzz_$target: $runs executions, FINDING")
  else
    echo "fuzz_$target: $runs executions, no finding"
    summary+=("fuzz_$target: $runs executions, no finding")
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "total: $total executions"
if [ "$found" -ne 0 ]; then
  echo "Reproduce a finding with: build/fuzz/fuzz/fuzz_<target> build/fuzz/findings/<target>/<file>"
  echo "(NV_FUZZ_TRACE=1 prints what the whole-run targets saw.)"
  exit 1
fi
[ "$interrupted" -eq 0 ] || exit 1
