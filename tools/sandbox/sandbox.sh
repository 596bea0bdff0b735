# For shell scripts that run the program against quillmoor-sandbox. Source it:
#   start_sandbox SANDBOX_BINARY [OPTION...]
#       starts one on a free port; sets SANDBOX_URL to it
#   stop_sandbox
#       stops every one started; for the caller's EXIT trap
#   sandbox_settings FILE [LINE...]
#       writes a GBK settings file: the LINEs, then every address in "网络"
#       pointing at the sandbox
#   bench_folders BUILD_DIR
#       for the bench scripts: PROGRAM, BUILD_DIR's program folder (it must
#       hold the batch tool and the sandbox), and WORK, a temporary folder;
#       on exit the sandboxes stop and WORK goes

SANDBOX_PIDS=()
SANDBOX_URL=""

start_sandbox() {
  local binary="$1"
  shift
  # The sandbox announces its port on its output: reading it waits exactly as
  # long as the start takes. The pipe stays open, as the sandbox may write more.
  local out
  exec {out}< <(exec "$binary" --port 0 "$@" 2>/dev/null)
  SANDBOX_PIDS+=("$!")
  local port=""
  read -r -t 10 -u "$out" port || true
  [[ "$port" =~ ^[0-9]+$ ]] || { echo "the sandbox named no port" >&2; return 1; }
  SANDBOX_URL="http://127.0.0.1:$port"
}

stop_sandbox() {
  if ((${#SANDBOX_PIDS[@]})); then kill "${SANDBOX_PIDS[@]}" 2>/dev/null || true; fi
  SANDBOX_PIDS=()
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

bench_folders() {  # build dir
  PROGRAM="$1/program"
  [[ -x "$PROGRAM/quillmoor-batch" && -x "$PROGRAM/quillmoor-sandbox" ]] ||
    { echo "build quillmoor-batch and quillmoor-sandbox in $1 first" >&2; exit 1; }
  WORK="$(mktemp -d)"
  trap 'stop_sandbox; rm -rf "$WORK"' EXIT
}
