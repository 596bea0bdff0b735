#!/usr/bin/env bash
# The Windows window under Wine on a virtual screen: its title and every
# control by text, place, font and items as the window system reports them;
# one click on "生成" against the Linux sandbox writes the same pages as the
# Linux batch tool; closing saves the settings. Optionally keeps a picture.
#   windows_window_smoke.sh LINUX_PROGRAM_DIR WINDOWS_PROGRAM_DIR WINE_PREFIX WINE64 [SCREENSHOT.png]
set -euo pipefail
linux_program="$1" windows_program="$2" prefix="$3" wine64="$4" screenshot="${5:-}"
here="$(cd "$(dirname "$0")" && pwd)"
wineserver="$(dirname "$wine64")/wineserver"
[[ -x "$wineserver" ]] || wineserver=wineserver
# A prefix of its own: a Wine server started by a test without a display would
# give this window none.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work="$(mktemp -d)"
trap '"$wineserver" -k 2>/dev/null || true; kill "$sandbox" 2>/dev/null || true; rm -rf "$work"' EXIT

"$linux_program/quillmoor-sandbox" --port 0 --port-file "$work/port" >/dev/null 2>&1 &
sandbox=$!
for _ in $(seq 200); do [[ -s "$work/port" ]] && break; kill -0 "$sandbox" || exit 1; sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")"

program_folder() {  # source dir, target dir
  mkdir -p "$2"
  cp -r "$1/模板" "$1/模板制作教程.htm" "$2/"
  printf '[网络]\r\n网关=%s/router/rest?\r\n百度=%s\r\nCNZZ=%s\r\nBaid=%s\r\n图片服务器=%s\r\n' \
    "$url" "$url" "$url" "$url" "${url#http://}" | iconv -f UTF-8 -t GBK >"$2/Quillbatch.ini"
}
program_folder "$linux_program" "$work/linux"
program_folder "$windows_program" "$work/windows"
cp "$linux_program/quillmoor-batch" "$work/linux/"
cp "$windows_program/quillmoor.exe" "$work/windows/"
mkdir "$work/report"
"$work/linux/quillmoor-batch" --quiet

"$wineserver" -k 2>/dev/null || true
"$wine64" regedit /S "Z:${here//\//\\}\\windows_window.reg"
"$wineserver" -w
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
(cd "$work/windows" &&
  timeout 120 xvfb-run -a -s "-screen 0 800x600x24" "$wine64" ./quillmoor.exe --selftest "$(windows_path "$work/report")" \
    2> >(grep -v '^X connection' >&2))

# The description, with the program folder's Windows path named PROGRAM.
program_path="$(windows_path "$work/windows")"
sed "s|${program_path//\\/\\\\}|PROGRAM|" "$work/report/controls.txt" | diff "$here/windows_window_expected.txt" -
# The run ended without a message; nothing asked to replace a file.
diff <(printf '标题：Quillmoor\n') "$work/report/messages.txt"
diff -r "$work/linux/已生成" "$work/windows/已生成"
# Closing saved the window's values.
iconv -f GBK -t UTF-8 "$work/windows/Quillbatch.ini" | grep -q "^模板=0"
if [[ -n "$screenshot" ]]; then python3 "$here/bmp_to_png.py" "$work/report/window.bmp" "$screenshot"; fi
echo "window: every control in place, $(ls "$work/windows/已生成" | wc -l) entries written by 生成"
