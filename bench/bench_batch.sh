#!/usr/bin/env bash
# Throughput of quillmoor-batch against the local sandbox: keyword groups of
# three keywords with 40-item answers, next to the sandbox's own rate for the
# same number of plain signed requests (one connection each, as the batch tool
# makes them). Peak memory is measured for a small and the full run, to show
# whether it grows with the number of groups.
#   bench/bench_batch.sh [BUILD_DIR] [GROUPS]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
GROUPS_FULL="${2:-1000}"
# shellcheck source=../tools/sandbox/sandbox.sh
source "$ROOT/tools/sandbox/sandbox.sh"
bench_folders "$BUILD"
start_sandbox "$PROGRAM/quillmoor-sandbox"
URL="$SANDBOX_URL"

# A program folder whose settings ask for 40 items and point at the sandbox.
mkdir -p "$WORK/prog"
cp -r "$PROGRAM/模板" "$WORK/prog/"
sandbox_settings "$WORK/prog/Quillbatch.ini" "[通常配置]" "获取数目=40"
keywords() {  # count file
  python3 - "$1" "$2" <<'PY'
import sys
n, path = int(sys.argv[1]), sys.argv[2]
with open(path, "wb") as f:
    for i in range(n):
        f.write(f"女装{i},连衣裙{i},T恤{i}\r\n".encode("gbk"))
PY
}

# Runs the batch tool over N groups with J requests at a time; prints "seconds peak_kib".
run_batch() {  # groups jobs
  local jobs="${2:-1}"
  keywords "$1" "$WORK/k$1.txt"
  rm -rf "$WORK/prog/已生成"
  local start end
  start=$(date +%s.%N)
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -v -o "$WORK/time$1" "$WORK/prog/quillmoor-batch" --program-dir "$WORK/prog" \
      --keywords-file "$WORK/k$1.txt" --jobs "$jobs" --quiet 2>/dev/null || true
    end=$(date +%s.%N)
    local peak; peak=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$WORK/time$1")
  else
    "$WORK/prog/quillmoor-batch" --program-dir "$WORK/prog" --keywords-file "$WORK/k$1.txt" --jobs "$jobs" --quiet &
    local pid=$! peak=0 hwm
    while kill -0 "$pid" 2>/dev/null; do
      hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [[ -n "$hwm" && "$hwm" -gt "$peak" ]] && peak=$hwm
      sleep 0.05
    done
    wait "$pid" || true
    end=$(date +%s.%N)
  fi
  local pages; pages=$(find "$WORK/prog/已生成" -name '*.htm' | wc -l)
  [[ "$pages" -eq "$1" ]] || { echo "expected $1 pages, found $pages" >&2; exit 1; }
  echo "$(calc "$end - $start") $peak"
}
cp "$PROGRAM/quillmoor-batch" "$WORK/prog/"

# The sandbox's plain rate: the same number of signed 40-item requests, one
# connection each, answers read whole and thrown away.
plain_rate() {  # requests
  python3 - "$URL" "$1" <<'PY'
import hashlib, http.client, sys, time, urllib.parse
from datetime import datetime, timedelta, timezone
url, n = sys.argv[1], int(sys.argv[2])
host, port = urllib.parse.urlparse(url).hostname, urllib.parse.urlparse(url).port
key, secret = "31415926", "5f0c2a9e7b13d4866e1fa0b2c9d34e57"
stamp = datetime.now(timezone(timedelta(hours=8))).strftime("%Y-%m-%d %H:%M:%S")
start = time.perf_counter()
for i in range(n):
    p = {"app_key": key, "fields": "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume",
         "format": "xml", "keyword": f"女装{i}", "method": "taobao.taobaoke.items.get", "page_no": "1",
         "page_size": "40", "pid": "mm_1_2_3", "sign_method": "md5", "sort": "commissionNum_desc",
         "timestamp": stamp, "v": "2.0"}
    text = secret + "".join(k + p[k] for k in sorted(p)) + secret
    p["sign"] = hashlib.md5(text.encode()).hexdigest().upper()
    c = http.client.HTTPConnection(host, port)
    c.request("POST", "/router/rest?", urllib.parse.urlencode(p), {"Content-Type": "application/x-www-form-urlencoded"})
    body = c.getresponse().read()
    c.close()
    if b"<click_url>" not in body:
        sys.exit("the sandbox gave no items: " + body[:200].decode(errors="replace"))
print(f"{n / (time.perf_counter() - start):.1f}")
PY
}

calc() { awk "BEGIN { print $1 }"; }

SMALL=$((GROUPS_FULL / 10)); ((SMALL > 0)) || SMALL=1
read -r small_s small_peak < <(run_batch "$SMALL" 1)
read -r full_s full_peak < <(run_batch "$GROUPS_FULL" 1)
read -r jobs4_s jobs4_peak < <(run_batch "$GROUPS_FULL" 4)
requests=$((GROUPS_FULL * 3))
plain=$(plain_rate "$requests")

printf 'quillmoor-batch, %d groups x 3 keywords, 40 items each (%d requests):\n' "$GROUPS_FULL" "$requests"
printf '  --jobs 1: %.2f s, %.1f groups/s, %.1f requests/s\n' "$full_s" "$(calc "$GROUPS_FULL / $full_s")" \
  "$(calc "$requests / $full_s")"
printf '  --jobs 4: %.2f s, %.1f groups/s (%.2fx of --jobs 1)\n' "$jobs4_s" "$(calc "$GROUPS_FULL / $jobs4_s")" \
  "$(calc "$full_s / $jobs4_s")"
printf '  peak memory %s KiB (%d groups: %s KiB; --jobs 4: %s KiB)\n' "$full_peak" "$SMALL" "$small_peak" "$jobs4_peak"
printf 'sandbox plain rate, %d signed requests: %s requests/s (= %.1f groups/s)\n' "$requests" "$plain" \
  "$(calc "$plain / 3")"
printf 'batch --jobs 1 / plain: %.2f\n' "$(calc "($requests / $full_s) / $plain")"
