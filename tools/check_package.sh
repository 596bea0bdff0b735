#!/usr/bin/env bash
# Checks a Quillmoor Debian package.
#   tools/check_package.sh PACKAGE.deb
#       seconds: the control data and the file list (dpkg-deb -I/-c), lintian
#       (any error fails), the hardening of every executable, the manual
#       pages, the desktop entry (desktop-file-validate), and the unpacked
#       program run from a read-only folder, writing into a throw-away user's
#       folders.
#   tools/check_package.sh --fresh-root PACKAGE.deb
#       also minutes: as root, with debootstrap, installs the package with apt
#       into a fresh Debian 12 root (downloads about 100 MB from the mirror,
#       $QUILL_MIRROR or deb.debian.org) and runs it there as a plain user.
set -euo pipefail

fresh_root=0
if [[ "${1:-}" == "--fresh-root" ]]; then fresh_root=1; shift; fi
deb="${1:-}"
[[ -f "$deb" ]] || { echo "usage: tools/check_package.sh [--fresh-root] PACKAGE.deb" >&2; exit 2; }
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"

failures=0
ok() { printf '  ok    %s\n' "$*"; }
bad() { printf '  FAIL  %s\n' "$*"; failures=$((failures + 1)); }
check() {  # description, command...
  local what="$1"; shift
  if "$@" >/dev/null 2>&1; then ok "$what"; else bad "$what"; fi
}
need() { command -v "$1" >/dev/null || { echo "$1 is missing: apt-get install $2" >&2; exit 2; }; }
need dpkg-deb dpkg
need desktop-file-validate desktop-file-utils
need lintian lintian

work="$(mktemp -d)"
sandbox_pid=""
cleanup() {
  [[ -n "$sandbox_pid" ]] && kill "$sandbox_pid" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "== control data"
info="$(dpkg-deb -f "$deb")"
field() { sed -n "s/^$1: //p" <<<"$info"; }
check "package name quillmoor" test "$(field Package)" = quillmoor
check "a maintainer one can write to" grep -qv "@localhost" <<<"$(field Maintainer)"
for lib in libc6 libicu72 libcurl4 libpcre2-8-0 libssl3 libqt6widgets6 fonts-wqy-zenhei; do
  check "depends on $lib" grep -q "\b$lib\b" <<<"$(field Depends)"
done

echo "== files"
listing="$(dpkg-deb -c "$deb")"
has() {  # mode prefix, path
  awk -v mode="$1" -v path="./$2" '$6 == path && index($1, mode) == 1 { found = 1 } END { exit !found }' \
    <<<"$listing"
}
for program in quillmoor quillmoor-batch quillmoor-sandbox; do
  check "usr/lib/quillmoor/$program, executable" has -rwxr-xr-x "usr/lib/quillmoor/$program"
  check "usr/bin/$program -> ../lib/quillmoor/$program" \
    grep -qF "./usr/bin/$program -> ../lib/quillmoor/$program" <<<"$listing"
done
for file in usr/lib/quillmoor/模板/默认模板/模板文件.htm usr/lib/quillmoor/模板/默认模板/files/style.css \
  usr/lib/quillmoor/模板制作教程.htm usr/share/applications/quillmoor.desktop \
  usr/share/icons/hicolor/scalable/apps/quillmoor.svg; do
  check "$file" has -rw-r--r-- "$file"
done
check "everything owned by root" test -z "$(awk '$2 != "root/root"' <<<"$listing")"
for file in usr/share/doc/quillmoor/copyright usr/share/doc/quillmoor/changelog.gz \
  usr/share/man/man1/quillmoor.1.gz usr/share/man/man1/quillmoor-batch.1.gz \
  usr/share/man/man1/quillmoor-sandbox.1.gz; do
  check "$file" has -rw-r--r-- "$file"
done

echo "== lintian"
# Errors fail the package; so does any executable built without Debian's
# hardening (lintian's hardening-* tags, shown among its informations).
lintian_log="$work/lintian.log"
lintian --display-info --fail-on error --tag-display-limit 0 "$deb" >"$lintian_log" 2>&1 && lintian_ok=1 || lintian_ok=0
check "no error" test "$lintian_ok" = 1 -a -z "$(grep '^E:' "$lintian_log")"
check "no hardening tag" test -z "$(grep 'hardening-' "$lintian_log")"
if [[ -s "$lintian_log" ]]; then sed 's/^/        /' "$lintian_log"; fi

echo "== desktop entry and icon"
dpkg-deb -x "$deb" "$work/root"
desktop="$work/root/usr/share/applications/quillmoor.desktop"
check "desktop-file-validate" desktop-file-validate "$desktop"
for key in 'Name=Quillmoor' 'Name\[zh_CN\]=' 'Exec=quillmoor' 'Icon=quillmoor' 'Categories='; do
  check "desktop entry has ${key//\\/}" grep -q "^$key" "$desktop"
done
check "icon is well-formed SVG" python3 -c \
  "import sys, xml.dom.minidom as m; sys.exit(m.parse(sys.argv[1]).documentElement.tagName != 'svg')" \
  "$work/root/usr/share/icons/hicolor/scalable/apps/quillmoor.svg"

echo "== the unpacked program in a read-only folder"
program="$work/root/usr/lib/quillmoor"
check "quillmoor-batch --version" "$program/quillmoor-batch" --version
# A user whom permission bits stop: nobody when run as root, else this user.
as_user=()
if [[ $(id -u) -eq 0 ]]; then as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
home="$work/home"
mkdir -p "$home"
[[ $(id -u) -eq 0 ]] && chown 65534:65534 "$home"
chmod 755 "$work" "$work/root" "$work/root/usr" "$work/root/usr/lib"
"$program/quillmoor-sandbox" --port 0 --port-file "$work/port" >/dev/null 2>&1 &
sandbox_pid=$!
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.05; done
port="$(cat "$work/port" 2>/dev/null || true)"
if [[ -z "$port" ]]; then
  bad "the packaged sandbox starts"
else
  # An administrator's network settings beside the program, read by every user.
  printf '[网络]\r\n网关=http://127.0.0.1:%s/router/rest?\r\n图片服务器=127.0.0.1:%s\r\n' "$port" "$port" |
    iconv -f UTF-8 -t GBK >"$program/Quillbatch.ini"
  chmod -R a-w "$program"
  if "${as_user[@]}" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" "$program/quillmoor-batch" --quiet \
    >"$work/batch.log" 2>&1; then
    ok "quillmoor-batch runs from the read-only folder"
  else
    bad "quillmoor-batch runs from the read-only folder (exit $?): $(cat "$work/batch.log")"
  fi
  pages=("$home/.local/share/quillmoor/已生成/"*.htm)
  check "pages written to ~/.local/share/quillmoor/已生成 (${#pages[@]})" test -s "${pages[0]}"
  check "its own templates folder ~/.local/share/quillmoor/模板" test -d "$home/.local/share/quillmoor/模板"
  check "its config folder ~/.config/quillmoor, private" test "$(stat -c %a "$home/.config/quillmoor")" = 700
  check "nothing written beside the program" test -z "$(find "$program" -newer "$program/Quillbatch.ini")"
fi

if ((fresh_root)); then
  echo "== installed with apt into a fresh Debian 12 root"
  [[ $(id -u) -eq 0 ]] || { bad "--fresh-root needs root"; exit 1; }
  need debootstrap debootstrap
  target="$work/fresh"
  mirror="${QUILL_MIRROR:-http://deb.debian.org/debian}"
  if ! debootstrap --variant=minbase bookworm "$target" "$mirror" >"$work/debootstrap.log" 2>&1; then
    bad "debootstrap bookworm (log: $(tail -3 "$work/debootstrap.log"))"
    exit 1
  fi
  mount -t proc proc "$target/proc"
  trap 'umount "$target/proc" 2>/dev/null; cleanup' EXIT
  cp "$deb" "$target/tmp/"
  in_root() { chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
  if in_root sh -c "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y /tmp/$(basename "$deb")" \
    >"$work/apt.log" 2>&1; then
    ok "apt install ./$(basename "$deb") ($(grep -o '[0-9]* newly installed' "$work/apt.log"))"
  else
    bad "apt install: $(tail -5 "$work/apt.log")"
    exit 1
  fi
  for program in quillmoor quillmoor-batch quillmoor-sandbox; do
    check "$program finds every library" test -z "$(in_root ldd "/usr/lib/quillmoor/$program" | grep 'not found')"
  done
  in_root useradd -m quilluser
  user_run() { chroot --userspec=quilluser:quilluser "$target" /usr/bin/env -i PATH=/usr/bin:/bin \
    HOME=/home/quilluser LANG=C.UTF-8 "$@"; }
  check "the window opens and draws itself (offscreen)" \
    user_run env QT_QPA_PLATFORM=offscreen quillmoor --screenshot /home/quilluser/window.png
  check "the window's picture" test -s "$target/home/quilluser/window.png"
  check "the window kept its settings in ~/.config/quillmoor" test -s "$target/home/quilluser/.config/quillmoor/Quillbatch.ini"
  user_run sh -c 'quillmoor-sandbox --port 0 --port-file /tmp/port >/dev/null 2>&1 & echo $! > /tmp/sandbox.pid
    for i in $(seq 100); do [ -s /tmp/port ] && break; sleep 0.05; done
    quillmoor-batch --quiet --gateway "http://127.0.0.1:$(cat /tmp/port)/router/rest?"; status=$?
    kill $(cat /tmp/sandbox.pid); exit $status' >"$work/fresh-batch.log" 2>&1 &&
    ok "quillmoor-batch as a plain user" || bad "quillmoor-batch as a plain user: $(cat "$work/fresh-batch.log")"
  check "pages in ~/.local/share/quillmoor/已生成" \
    test -n "$(ls "$target/home/quilluser/.local/share/quillmoor/已生成/"*.htm 2>/dev/null)"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
