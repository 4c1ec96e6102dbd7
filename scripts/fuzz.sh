#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each,
# seeded with files our own writers make.
#   scripts/fuzz.sh [seconds]                 every target in turn (default 30 s each), as CI does
#   scripts/fuzz.sh --long [seconds] [jobs]   every target for longer (default 600 s), jobs at a
#                                             time (default 2), logs in build-fuzz/logs/, then a
#                                             table of executions, coverage and findings
# Findings (crash-*, leak-*, timeout-*, oom-*) are kept in build-fuzz/findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

long=false
if [ "${1:-}" = "--long" ]; then
  long=true
  shift
fi
seconds=${1:-$($long && echo 600 || echo 30)}
jobs=${2:-2}
build_dir=build-fuzz
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMORA_FUZZ=ON -DLUMORA_BUILD_PLAYER=OFF -DLUMORA_BUILD_TESTS=OFF
# Each target and the seed folder make_seeds writes for it.
declare -A seed_folder=(
  [movie_fuzz]=movie [grid_file_fuzz]=grid [appended_fuzz]=appended [pipeline_fuzz]=pipeline
  [playlist_fuzz]=playlist [handoff_fuzz]=handoff [channel_patch_fuzz]=patch [hand_off_queue_fuzz]=queue
  [control_request_fuzz]=control [music_fuzz]=music [schedule_fuzz]=schedule
  [multisync_fuzz]=multisync [artnet_timecode_fuzz]=artnet [osc_fuzz]=osc [mtc_fuzz]=mtc
)
targets=(movie_fuzz grid_file_fuzz appended_fuzz pipeline_fuzz playlist_fuzz handoff_fuzz channel_patch_fuzz
  hand_off_queue_fuzz control_request_fuzz music_fuzz schedule_fuzz
  multisync_fuzz artnet_timecode_fuzz osc_fuzz mtc_fuzz)
cmake --build "$build_dir" -j 2 --target "${targets[@]}" make_seeds

seeds="$build_dir/seeds"
rm -rf "$seeds"
"$build_dir/fuzz/make_seeds" "$seeds" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run() {
  local target=$1
  mkdir -p "$build_dir/corpus/$target" "$build_dir/findings/$target"
  echo "== $target for ${seconds}s"
  (cd "$build_dir" && "./fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=262144 -print_final_stats=1 -artifact_prefix="findings/$target/" \
    "corpus/$target" "seeds/${seed_folder[$target]}")
}

if ! $long; then
  for target in "${targets[@]}"; do run "$target"; done
  exit 0
fi

# A target that finds something stops; the others go on, and the table
# says which did.
mkdir -p "$build_dir/logs"
export -f run
export build_dir seconds
export seed_folder_list="$(for t in "${targets[@]}"; do echo "$t=${seed_folder[$t]}"; done)"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c '
  declare -A seed_folder
  while IFS== read -r t f; do seed_folder[$t]=$f; done <<<"$seed_folder_list"
  run {} >"$build_dir/logs/{}.log" 2>&1 || echo "{} stopped with a finding"'
printf '%-22s %12s %8s %8s %8s %s\n' target executions cov ft corpus findings
for target in "${targets[@]}"; do
  log="$build_dir/logs/$target.log"
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  ft=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  corpus=$(grep -o 'corp: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  findings=$(find "$build_dir/findings/$target" -type f | wc -l)
  printf '%-22s %12s %8s %8s %8s %s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$findings"
done
