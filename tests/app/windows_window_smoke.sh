#!/usr/bin/env bash
# The Windows window under Wine on a virtual screen: its title and every
# control by class, place, font, text and items as the window system reports
# them, against the control table (the window checks itself and notes each
# difference);
# its links go to the shell's open action; four clicks on "生成" against the
# Linux sandbox answer the replace question with each of its five buttons and
# end with the same pages as the Linux batch tool; the folder browser chooses
# the save folder; closing saves the settings.
# Then, against a gateway that never answers, closing the window mid-run ends
# the process at once, settings saved and no page written. Optionally keeps a
# picture.
#   windows_window_smoke.sh LINUX_PROGRAM_DIR WINDOWS_PROGRAM_DIR WINE_PREFIX WINE64 [SCREENSHOT.png]
set -euo pipefail
linux_program="$1" windows_program="$2" prefix="$3" wine64="$4" screenshot="${5:-}"
here="$(cd "$(dirname "$0")" && pwd)"
wineserver="$(dirname "$wine64")/wineserver"
[[ -x "$wineserver" ]] || wineserver=wineserver
# A prefix of its own: a Wine server started by a test without a display would
# give this window none.
# A Chinese Windows: code page 936 and its fonts.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# shellcheck source=../../tools/sandbox/sandbox.sh
source "$here/../../tools/sandbox/sandbox.sh"
work="$(mktemp -d)"
trap '"$wineserver" -k 2>/dev/null || true; stop_sandbox; rm -rf "$work"' EXIT

program_folder() {  # source dir, target dir
  mkdir -p "$2"
  cp -r "$1/模板" "$1/模板制作教程.htm" "$2/"
  sandbox_settings "$2/Quillbatch.ini"
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The window in a program folder with a self-test plan; its report goes to
# folder/report, the program folder's Windows path named PROGRAM in it.
run_window() {  # program folder, plan
  mkdir -p "$1/report"
  printf '%s\n' "$2" >"$1/report/plan.txt"
  cp "$windows_program/quillmoor.exe" "$1/"
  (cd "$1" &&
    timeout 120 xvfb-run -a -s "-screen 0 800x600x24" "$wine64" ./quillmoor.exe --selftest "$(windows_path "$1/report")" \
      2> >(grep -v '^X connection' >&2))
  local program_path
  program_path="$(windows_path "$1")"
  for report in "$1/report/"*.txt; do sed -i "s|${program_path//\\/\\\\}|PROGRAM|g" "$report"; done
}

"$wineserver" -k 2>/dev/null || true
"$wine64" regedit /S "Z:${here//\//\\}\\windows_window.reg"
"$wineserver" -w
# The caption buttons' glyphs are Wine's Marlett font, which Wine does not
# take from its own data folder here: the prefix gets a copy.
for font in /usr/share/wine/fonts/marlett.ttf /usr/share/wine/wine/fonts/marlett.ttf; do
  if [[ -f "$font" ]]; then cp "$font" "$prefix/drive_c/windows/Fonts/" && break; fi
done

start_sandbox "$linux_program/quillmoor-sandbox"
program_folder "$linux_program" "$work/linux"
program_folder "$windows_program" "$work/windows"
cp "$linux_program/quillmoor-batch" "$work/linux/"
"$work/linux/quillmoor-batch" --quiet
# Two resource files are there before the first click, with other contents.
mkdir -p "$work/windows/已生成/files"
echo old >"$work/windows/已生成/files/logo.svg"
echo old >"$work/windows/已生成/files/style.css"
# Questions come in name order (logo.svg, no-picture.png, style.css), only for
# files that exist. 取消 ends the copy (no-picture.png stays missing, so the
# next run asks only twice); 否 keeps logo.svg and 全部否 style.css; 全部否
# then asks once; 是 replaces logo.svg and 全部是 the rest without asking.
# Then the folder browser chooses a folder with a Chinese name for the pages
# (on C:, as the browser of this Wine cannot walk into Z:); last, the network
# dialog gets other values.
mkdir -p "$prefix/drive_c/选中"
run_window "$work/windows" "链接
生成 取消
生成 否 全部否
生成 全部否
生成 是 全部是
选择 C:\\选中
网络 taobao.tbk.dg.material.optional.upgrade http://127.0.0.1:9/router/rest? 4 2"

question() {  # file, answer
  printf '问：目标位置已有同名文件：\\nPROGRAM\\已生成\\files\\%s\\n\\n要替换它吗？|是 全部是 否 全部否 取消|答：%s\n' "$1" "$2"
}
diff <(
  printf '打开：http://www.example.com/quillmoor/\n打开：http://www.example.org/\n'
  question logo.svg 取消
  echo 标题：Quillmoor
  question logo.svg 否
  question style.css 全部否
  echo 标题：Quillmoor
  question logo.svg 全部否
  echo 标题：Quillmoor
  question logo.svg 是
  question no-picture.png 全部是
  echo 标题：Quillmoor
  echo '保存目录：C:\选中'
) "$work/windows/report/messages.txt"
diff -r "$work/linux/已生成" "$work/windows/已生成"
# Closing saved the window's values, the chosen folder among them.
iconv -f GBK -t UTF-8 "$work/windows/Quillbatch.ini" | grep -q "^模板=0"
iconv -f GBK -t UTF-8 "$work/windows/Quillbatch.ini" | grep -qF '保存目录=C:\选中'
# The network dialog, opened from the system menu, wrote its keys into 网络.
iconv -f GBK -t UTF-8 "$work/windows/Quillbatch.ini" |
  grep -qxF '接口=taobao.tbk.dg.material.optional.upgrade'$'\r'
iconv -f GBK -t UTF-8 "$work/windows/Quillbatch.ini" | grep -qxF '并发=4'$'\r'
if [[ -n "$screenshot" ]]; then python3 "$here/bmp_to_png.py" "$work/windows/report/window.bmp" "$screenshot"; fi
echo "window: every control in place, both links, five answers, the folder browser, $(ls "$work/windows/已生成" | wc -l) entries written"

# A gateway that reads the request and never answers: the run waits on it
# when the window is closed. Without the close it would wait 30 s a call.
start_sandbox "$linux_program/quillmoor-sandbox" --hang
program_folder "$windows_program" "$work/closing"
started=$SECONDS
run_window "$work/closing" "生成并关闭"
took=$((SECONDS - started))
((took < 25)) || { echo "closing mid-run took ${took} s" >&2; exit 1; }
# Nothing said, no page written, the window's values saved.
[[ ! -s "$work/closing/report/messages.txt" ]]
[[ -z "$(find "$work/closing/已生成" -name '*.htm' 2>/dev/null)" ]]
iconv -f GBK -t UTF-8 "$work/closing/Quillbatch.ini" | grep -q "^模板=0"
echo "window: closed mid-run in ${took} s with Wine's start, settings saved, no page written"
