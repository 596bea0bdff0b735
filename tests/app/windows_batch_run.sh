#!/usr/bin/env bash
# The Windows batch tool, run under the emulator against the Linux sandbox on
# 127.0.0.1, must write the same pages and settings file, byte for byte, as the
# Linux batch tool against the same sandbox.
#   windows_batch_run.sh LINUX_PROGRAM_DIR WINDOWS_PROGRAM_DIR EMULATOR...
set -euo pipefail
linux_program="$1" windows_program="$2"
shift 2
# shellcheck source=../../tools/sandbox/sandbox.sh
source "$(dirname "$0")/../../tools/sandbox/sandbox.sh"
work="$(mktemp -d)"
trap 'stop_sandbox; rm -rf "$work"' EXIT
start_sandbox "$linux_program/quillmoor-sandbox"

# A program folder of each build, every address pointing at the sandbox.
program_folder() {  # source dir, target dir
  mkdir -p "$2"
  cp -r "$1/模板" "$1/模板制作教程.htm" "$2/"
  sandbox_settings "$2/Quillbatch.ini"
}
program_folder "$linux_program" "$work/linux"
program_folder "$windows_program" "$work/windows"
cp "$linux_program/quillmoor-batch" "$work/linux/"
cp "$windows_program/quillmoor-batch.exe" "$work/windows/"

"$work/linux/quillmoor-batch" --quiet
(cd "$work/windows" && "$@" ./quillmoor-batch.exe)
ls "$work/windows/已生成/"*.htm >/dev/null
diff -r "$work/linux" "$work/windows" -x 'quillmoor-batch*'

# The current interface's JSON answer, read on both builds: the same pages.
api=(--api taobao.tbk.dg.material.optional.upgrade)
for side in linux windows; do
  rm -rf "${work:?}/$side/已生成"
  sandbox_settings "$work/$side/Quillbatch.ini" "[通常配置]" "PID=mm_1_2_3"
done
"$work/linux/quillmoor-batch" --quiet "${api[@]}"
(cd "$work/windows" && "$@" ./quillmoor-batch.exe --quiet "${api[@]}")
grep -q "user_number_id=" "$work/windows/已生成/2012.htm"
diff -r "$work/linux" "$work/windows" -x 'quillmoor-batch*'

stop_sandbox
start_sandbox "$linux_program/quillmoor-sandbox" --reset-mid-body
sandbox_settings "$work/windows/Quillbatch.ini"
cp -r "$work/windows/已生成" "$work/before"
status=0
(cd "$work/windows" && "$@" ./quillmoor-batch.exe --retries 0 --quiet) || status=$?
[[ "$status" -eq 4 ]] || { echo "a cut-off gateway gave exit status $status, not 4" >&2; exit 1; }
diff -r "$work/before" "$work/windows/已生成"
echo "the same pages through both interfaces: $(ls "$work/windows/已生成" | wc -l) entries; kept when every call failed"
