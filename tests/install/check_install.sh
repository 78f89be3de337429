#!/usr/bin/env bash
# Installs the build into a staging prefix and starts the installed program as a new user
# would: an empty home, no settings yet. The settings must land in the home's configuration
# folder as a copy of the factory file, which stays unchanged.
set -euo pipefail

build=$1
source=$2
stage=$(mktemp -d)
home=$(mktemp -d)
# The program is ended before its home goes.
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null; rm -rf "$stage" "$home"' EXIT
pid=

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$stage" >/dev/null

libdir=$(cd "$stage" && ls -d lib*/velto3gpconverter | head -n1)
data=$stage/share/velto3gpconverter
for file in bin/Velto3GPConverter "$libdir/libvelto_engine.so" "$libdir/libmyutil.so" \
    share/velto3gpconverter/Velto3GPConverter.ini share/velto3gpconverter/VideoFormat.dat \
    share/velto3gpconverter/Velto3GPConverter.html share/velto3gpconverter/faq.htm \
    share/velto3gpconverter/License.txt share/velto3gpconverter/translations/velto_en.qm \
    share/velto3gpconverter/translations/velto_zh_CN.qm \
    share/applications/com.velto_soft.Velto3GPConverter.desktop \
    share/metainfo/com.velto_soft.Velto3GPConverter.metainfo.xml \
    share/doc/velto3gpconverter/copyright share/doc/velto3gpconverter/changelog.Debian.gz \
    share/icons/hicolor/scalable/apps/velto3gpconverter.svg; do
    [ -e "$stage/$file" ] || fail "$file is not installed"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$stage/share/applications/com.velto_soft.Velto3GPConverter.desktop" ||
        fail "desktop-file-validate refuses the .desktop file"
fi
# Software centres go from the metainfo to the .desktop file by the launchable's name.
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' \
    "$stage/share/metainfo/com.velto_soft.Velto3GPConverter.metainfo.xml")
[ -e "$stage/share/applications/$launchable" ] ||
    fail "the metainfo launches '$launchable', which is not installed"
# Debian's manual pages and changelogs are compressed without a name or time stamp.
for file in share/man/man1/velto3gp.1.gz share/doc/velto3gpconverter/changelog.Debian.gz; do
    gzip -t "$stage/$file" || fail "$file is not gzip data"
    # Header bytes 3 to 7: the flags (a stored name sets bit 3) and the time stamp.
    [ "$(od -An -tu1 -j3 -N5 "$stage/$file" | tr -s ' ')" = " 0 0 0 0 0" ] ||
        fail "$file stores a name or time stamp"
done
# The program is found through the installed layout alone, not the build folder.
if ldd "$stage/bin/Velto3GPConverter" | grep -q "$build"; then
    fail "the installed program loads libraries from the build folder"
fi

factory_before=$(sha256sum <"$data/Velto3GPConverter.ini")
cmp -s "$data/Velto3GPConverter.ini" "$source/data/Velto3GPConverter.ini" ||
    fail "the staged factory settings differ from the shipped ones"

settings=$home/.config/Velto3GPConverter/Velto3GPConverter.ini
# The hand-off socket goes to the temporary folder when there is no runtime folder.
sockets=$home/tmp
mkdir -p "$sockets"
window=(env -i HOME="$home" PATH="$PATH" TMPDIR="$sockets" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
    "$stage/bin/Velto3GPConverter")
# Ended by a signal, the program ends as its Quit does: status 0 and no socket left behind.
end_window() {
    kill -"$1" "$pid"
    wait "$pid" && status=0 || status=$?
    pid=
    [ "$1" = KILL ] || [ "$status" -eq 0 ] || fail "the program ended with status $status on SIG$1"
    [ "$1" = KILL ] || ! compgen -G "$sockets/*.socket" >/dev/null ||
        fail "the program left $(ls "$sockets"/*.socket) on SIG$1"
}
"${window[@]}" &
pid=$!
for _ in $(seq 1 300); do
    [ -s "$settings" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the installed program ended at start"
    sleep 0.1
done
[ -s "$settings" ] || fail "no settings in $settings"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the installed program did not keep running"
# A second copy ("Open with" from a file manager) hands its files to the running one and ends.
timeout 30 "${window[@]}" || fail "a second copy did not hand over to the running one and end"
kill -0 "$pid" 2>/dev/null || fail "the running copy ended when a second one handed over"
end_window TERM
# Killed, it left its socket: the next copy must not hand over to nobody, it runs.
"${window[@]}" &
pid=$!
sleep 1.5
end_window KILL
compgen -G "$sockets/*.socket" >/dev/null || fail "a killed copy left no socket; this check tests nothing"
"${window[@]}" &
pid=$!
sleep 1.5
kill -0 "$pid" 2>/dev/null || fail "a copy started after a killed one did not keep running"
end_window HUP

cmp -s "$settings" "$data/Velto3GPConverter.ini" || fail "the user's settings are not the factory copy"
[ "$(sha256sum <"$data/Velto3GPConverter.ini")" = "$factory_before" ] ||
    fail "the factory settings file was written"
echo "installed program started; settings in $settings"

# The command line is installed with its manual page, links no FFmpeg library, and converts from
# the installed layout with the same user's settings.
for file in bin/velto3gp share/man/man1/velto3gp.1.gz share/man/man1/Velto3GPConverter.1.gz; do
    [ -e "$stage/$file" ] || fail "$file is not installed"
done
if ldd "$stage/bin/velto3gp" | grep -Eq "$build|libav|libsw"; then
    fail "the installed velto3gp links FFmpeg or loads libraries from the build folder"
fi
env -i HOME="$home" PATH="$PATH" LANG=C.UTF-8 "$stage/bin/velto3gp" profiles | grep -q "^0	" ||
    fail "the installed velto3gp lists no profiles"
probe=$(env -i HOME="$home" PATH="$PATH" LANG=C.UTF-8 "$stage/bin/velto3gp" probe /nonexistent 2>&1 || true)
case $probe in
*nonexistent*) ;;
*) fail "the installed velto3gp cannot bind the libraries: $probe" ;;
esac
echo "installed velto3gp runs"
