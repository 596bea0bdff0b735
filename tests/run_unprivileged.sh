#!/bin/sh
# Runs a test program as an unprivileged user, since root writes through
# permission bits and the permission cases would only skip. The program is
# copied to a fresh folder first: the build tree may not be readable to others.
# Not root: runs it as it is.
set -eu
program="$1"; shift
if [ "$(id -u)" -ne 0 ]; then exec "$program" "$@"; fi
copy="$(mktemp -d)"
trap 'rm -rf "$copy"' EXIT
cp "$program" "$copy/"
chmod 755 "$copy" "$copy/$(basename "$program")"
cd /
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp "$copy/$(basename "$program")" "$@"
