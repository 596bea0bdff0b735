# For shell scripts that run the program against quillmoor-sandbox. Source it:
#   start_sandbox SANDBOX_BINARY WORK_DIR [OPTION...]
#       starts it on a free port; sets SANDBOX_PID and SANDBOX_URL
#   stop_sandbox
#       for the caller's EXIT trap; harmless when none was started
#   sandbox_settings FILE [LINE...]
#       writes a GBK settings file: the LINEs, then every address in "网络"
#       pointing at the sandbox

SANDBOX_PID=""
SANDBOX_URL=""

start_sandbox() {
  local binary="$1" work="$2"
  shift 2
  rm -f "$work/sandbox-port"
  "$binary" --port 0 --port-file "$work/sandbox-port" "$@" >/dev/null 2>&1 &
  SANDBOX_PID=$!
  for _ in $(seq 200); do
    [[ -s "$work/sandbox-port" ]] && break
    kill -0 "$SANDBOX_PID" 2>/dev/null || { echo "the sandbox did not start" >&2; return 1; }
    sleep 0.05
  done
  [[ -s "$work/sandbox-port" ]] || { echo "the sandbox named no port" >&2; return 1; }
  SANDBOX_URL="http://127.0.0.1:$(cat "$work/sandbox-port")"
}

stop_sandbox() {
  if [[ -n "$SANDBOX_PID" ]]; then kill "$SANDBOX_PID" 2>/dev/null || true; fi
}

sandbox_settings() {
  local file="$1"
  shift
  local url="$SANDBOX_URL"
  {
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf '[网络]\r\n网关=%s/router/rest?\r\n百度=%s\r\nCNZZ=%s\r\nBaid=%s\r\n图片服务器=%s\r\n' \
      "$url" "$url" "$url" "$url" "${url#http://}"
  } | iconv -f UTF-8 -t GBK >"$file"
}
