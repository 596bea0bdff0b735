#!/usr/bin/env bash
# quillmoor-batch against a key the sandbox lets make R calls a second (--rate:
# a bucket of R, 1-second bans), 50 ms answers, GROUPS lines of 3 keywords, the
# default retries; for R = 5 and 20 and 1, 4, 8 and 16 jobs: the time, its ratio
# to the bound 1.2 x max(N / R, N x 0.05 s / jobs) + 1 s (N calls), the
# call-limit answers drawn and the exit. Every keyword is asked for once, so a
# request that is not its keyword's last was refused. The refusals that reveal
# the limit are counted apart: those among the requests up to `jobs` after the
# first refused one, which may all have left before its answer came back.
#   bench/bench_pacing.sh [BUILD_DIR] [GROUPS]    (RATES="5 20", JOBS="1 4 8 16")
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
GROUPS_N="${2:-40}"
# shellcheck source=../tools/sandbox/sandbox.sh
source "$ROOT/tools/sandbox/sandbox.sh"
bench_folders "$BUILD"

mkdir -p "$WORK/prog"
cp -r "$PROGRAM/模板" "$PROGRAM/quillmoor-batch" "$WORK/prog/"
python3 -c "
import sys
with open(sys.argv[2], 'wb') as f:
    for i in range(int(sys.argv[1])): f.write(f'女装{i},连衣裙{i},T恤{i}\r\n'.encode('gbk'))" "$GROUPS_N" "$WORK/k.txt"
CALLS=$((GROUPS_N * 3))

calc() { awk "BEGIN { print $1 }"; }

# "refused revealing" from a sandbox log of one run with the given jobs.
refusals() {  # log jobs
  python3 - "$1" "$2" <<'PY'
import json, sys
asks = [json.loads(line)["params"].get("keyword", "") for line in open(sys.argv[1], encoding="utf-8")
        if '"/router/rest"' in line]
last = {keyword: i for i, keyword in enumerate(asks)}
refused = [i for i, keyword in enumerate(asks) if last[keyword] != i]
reveal_end = (refused[0] if refused else 0) + int(sys.argv[2])
print(len(refused), sum(1 for i in refused if i < reveal_end))
PY
}

# One run against a fresh sandbox (a fresh key); prints "seconds refused revealing exit".
run() {  # rate jobs
  start_sandbox "$PROGRAM/quillmoor-sandbox" --slow-ms 50 --rate "$1" --log "$WORK/log"
  sandbox_settings "$WORK/prog/Quillbatch.ini" "[通常配置]" "获取数目=10"
  rm -rf "$WORK/prog/已生成"
  local start end status=0
  start=$(date +%s.%N)
  "$WORK/prog/quillmoor-batch" --program-dir "$WORK/prog" --keywords-file "$WORK/k.txt" --jobs "$2" --quiet \
    2>/dev/null || status=$?
  end=$(date +%s.%N)
  stop_sandbox
  echo "$(calc "$end - $start") $(refusals "$WORK/log" "$2") $status"
  rm -f "$WORK/log"
}

printf '%d lines x 3 keywords = %d calls, 50 ms answers, default retries\n' "$GROUPS_N" "$CALLS"
printf '| R | jobs | time | bound | ratio | limit answers drawn | of them revealing | the others, per ask | exit |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
for rate in ${RATES:-5 20}; do
  for jobs in ${JOBS:-1 4 8 16}; do
    read -r seconds refused revealing status < <(run "$rate" "$jobs")
    bound=$(calc "1.2 * ($CALLS / $rate > $CALLS * 0.05 / $jobs ? $CALLS / $rate : $CALLS * 0.05 / $jobs) + 1")
    printf '| %d | %d | %.1f s | %.1f s | %.2f | %d | %d | %.1f%% | %d |\n' "$rate" "$jobs" "$seconds" "$bound" \
      "$(calc "$seconds / $bound")" "$refused" "$revealing" \
      "$(calc "100 * ($refused - $revealing) / ($CALLS + $refused)")" "$status"
  done
done
