#!/usr/bin/env bash
# The Windows batch tool, run under the emulator against the Linux sandbox on
# 127.0.0.1, must write the same pages and settings file, byte for byte, as the
# Linux batch tool against the same sandbox.
#   windows_batch_run.sh LINUX_PROGRAM_DIR WINDOWS_PROGRAM_DIR EMULATOR...
set -euo pipefail
linux_program="$1" windows_program="$2"
shift 2
work="$(mktemp -d)"
trap 'kill "$sandbox" 2>/dev/null || true; rm -rf "$work"' EXIT

"$linux_program/quillmoor-sandbox" --port 0 --port-file "$work/port" >/dev/null 2>&1 &
sandbox=$!
for _ in $(seq 200); do [[ -s "$work/port" ]] && break; kill -0 "$sandbox" || exit 1; sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")"

# A program folder of each build, every address pointing at the sandbox.
program_folder() {  # source dir, target dir
  mkdir -p "$2"
  cp -r "$1/模板" "$1/模板制作教程.htm" "$2/"
  printf '[网络]\r\n网关=%s/router/rest?\r\n百度=%s\r\nCNZZ=%s\r\nBaid=%s\r\n图片服务器=%s\r\n' \
    "$url" "$url" "$url" "$url" "${url#http://}" | iconv -f UTF-8 -t GBK >"$2/Quillbatch.ini"
}
program_folder "$linux_program" "$work/linux"
program_folder "$windows_program" "$work/windows"
cp "$linux_program/quillmoor-batch" "$work/linux/"
cp "$windows_program/quillmoor-batch.exe" "$work/windows/"

"$work/linux/quillmoor-batch" --quiet
(cd "$work/windows" && "$@" ./quillmoor-batch.exe)
ls "$work/windows/已生成/"*.htm >/dev/null
diff -r "$work/linux" "$work/windows" -x 'quillmoor-batch*'
echo "the same pages: $(ls "$work/windows/已生成" | wc -l) entries"
