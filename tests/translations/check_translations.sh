#!/usr/bin/env bash
# Every window text in the sources has a finished Chinese and English translation: lupdate is run
# over the sources into copies of the shipped .ts files, which must then hold nothing unfinished.
set -euo pipefail

lupdate=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$source"/translations/*.ts "$work/"
sources=("$source"/app/*.cpp "$source"/app/*.h "$source"/profiles/frm_*.cpp "$source"/profiles/frm_*.h)
status=0
for ts in "$work"/*.ts; do
    "$lupdate" -silent -no-obsolete -locations none "${sources[@]}" -ts "$ts" >/dev/null
    if grep -q 'type="unfinished"' "$ts"; then
        echo "FAIL: $(basename "$ts") lacks translations for:" >&2
        grep -B2 'type="unfinished"' "$ts" | grep '<source>' >&2
        status=1
    fi
done
exit $status
