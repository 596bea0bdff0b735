#!/usr/bin/env bash
# Wall time of quillmoor-batch when every answer takes 100 ms (the sandbox's
# --slow-ms), for 1, 4, 8 and 16 requests at a time, with and without short
# links, next to the bound: requests x 0.1 s / jobs. Peak memory at 100 and at
# GROUPS groups shows whether the look-ahead stays bounded.
#   bench/bench_latency.sh [BUILD_DIR] [GROUPS] [SHORT_LINK_GROUPS]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
GROUPS_N="${2:-300}"
SHORT_GROUPS="${3:-20}"
# shellcheck source=../tools/sandbox/sandbox.sh
source "$ROOT/tools/sandbox/sandbox.sh"
bench_folders "$BUILD"
start_sandbox "$PROGRAM/quillmoor-sandbox" --slow-ms 100

mkdir -p "$WORK/prog"
cp -r "$PROGRAM/模板" "$PROGRAM/quillmoor-batch" "$WORK/prog/"
sandbox_settings "$WORK/prog/Quillbatch.ini" "[通常配置]" "获取数目=10"

keywords() {  # count file
  python3 -c "
import sys
with open(sys.argv[2], 'wb') as f:
    for i in range(int(sys.argv[1])): f.write(f'女装{i},连衣裙{i},T恤{i}\r\n'.encode('gbk'))" "$1" "$2"
}

# Prints "seconds peak_kib" for one run.
run() {  # groups jobs extra-options...
  local groups="$1" jobs="$2"; shift 2
  keywords "$groups" "$WORK/k.txt"
  rm -rf "$WORK/prog/已生成"
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$WORK/peak" "$WORK/prog/quillmoor-batch" --program-dir "$WORK/prog" \
    --keywords-file "$WORK/k.txt" --jobs "$jobs" --quiet "$@" 2>/dev/null || true
  end=$(date +%s.%N)
  echo "$(awk "BEGIN { print $end - $start }") $(cat "$WORK/peak")"
}

report() {  # label groups requests-per-group extra-options...
  local label="$1" groups="$2" per_group="$3"; shift 3
  local requests=$((groups * per_group))
  for jobs in 1 4 8 16; do
    read -r seconds peak < <(run "$groups" "$jobs" "$@")
    local bound; bound=$(awk "BEGIN { print $requests * 0.1 / $jobs }")
    printf '%-18s jobs %2d: %7.2f s, bound %7.2f s, %.2fx, peak %s KiB\n' "$label" "$jobs" "$seconds" "$bound" \
      "$(awk "BEGIN { print $seconds / $bound }")" "$peak"
  done
}

report "calls only" "$GROUPS_N" 3
# Each of the 10 records of an answer costs two short links (item and shop).
report "with short links" "$SHORT_GROUPS" $((3 + 3 * 10 * 2)) --short-links 2
read -r _ small_peak < <(run 100 8)
read -r _ large_peak < <(run 1000 8)
printf 'peak memory at --jobs 8: 100 groups %s KiB, 1000 groups %s KiB\n' "$small_peak" "$large_peak"
