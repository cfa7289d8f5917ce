#!/usr/bin/env bash
# The committed icons are exactly what scripts/make_icons.py draws.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/res" "$work/tools/demo"
python3 "$root/scripts/make_icons.py" "$work" >/dev/null
status=0
for icon in res/delicon.ico res/kexicon.ico tools/demo/kexfile.ico; do
  if cmp -s "$work/$icon" "$root/$icon"; then
    echo "same: $icon"
  else
    echo "DIFFERENT: $icon is not what scripts/make_icons.py draws" >&2
    status=1
  fi
done
exit $status
