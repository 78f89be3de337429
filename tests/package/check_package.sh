#!/usr/bin/env bash
# Checks the Debian package the way a fresh Debian 12 machine meets it: lintian on the file; then
# in a throw-away bookworm root, apt-get pulls every dependency from Depends alone, both programs
# start, a clip converts with the 3GP profile, the metainfo validates, and purge leaves nothing.
#   check_package.sh PACKAGE.deb
# Exit status: 0 passed, 77 skipped (not root, or debootstrap/chroot/mount refused), else failed.
# The bootstrapped root is kept as a tarball in VELTO_DEBOOTSTRAP_CACHE
# (/var/cache/velto3gp-debootstrap), with the packages apt downloads, so later runs fetch little.
set -euo pipefail

deb=$(realpath "$1")
cache=${VELTO_DEBOOTSTRAP_CACHE:-/var/cache/velto3gp-debootstrap}
tarball=$cache/bookworm-minbase-$(dpkg --print-architecture).tar.gz
appid=com.velto_soft.Velto3GPConverter
package=velto3gpconverter
start=$SECONDS
root=
mounts=()
pid=

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIPPED: $*"
    exit 77
}
step() { echo "== $* ($((SECONDS - start)) s)"; }

# Unmount in reverse order; the root is removed only once nothing is mounted inside it, so a
# failed unmount can never let rm reach the host's /dev or the package cache.
cleanup() {
    local i
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
    done
    if [ -n "$root" ] && [ -d "$root" ]; then
        if grep -q " $root/" /proc/self/mounts; then
            echo "left $root in place: something is still mounted inside it" >&2
        else
            rm -rf "$root"
        fi
    fi
}
trap cleanup EXIT

step "lintian"
lintian_log=$(mktemp)
# Tags kept on purpose are overridden inside the package; any other warning or error fails.
if ! lintian --fail-on error,warning --display-info "$deb" >"$lintian_log" 2>&1; then
    cat "$lintian_log"
    rm -f "$lintian_log"
    fail "lintian reports errors or warnings"
fi
cat "$lintian_log"
rm -f "$lintian_log"

version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-deb -f "$deb" Package)" = "$package" ] || fail "the package is not named $package"

[ "$(id -u)" -eq 0 ] || skip "debootstrap and chroot need root (running as $(id -un))"
command -v debootstrap >/dev/null || fail "debootstrap is not installed"

# The mirror this machine uses for Debian itself, from its apt sources.
mirror() {
    local file
    for file in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list; do
        [ -f "$file" ] || continue
        sed -n -e 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' \
            -e 's/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]*\)\{0,1\}\([^[:space:]]*\).*/\2/p' \
            "$file"
    done | grep debian | grep -v security | head -n1 || true
}

if [ ! -s "$tarball" ]; then
    url=$(mirror)
    [ -n "$url" ] || fail "no Debian mirror in /etc/apt/sources.list.d"
    step "debootstrap --variant=minbase bookworm from $url"
    mkdir -p "$cache"
    root=$(mktemp -d /var/tmp/velto3gp-bootstrap.XXXXXX)
    log=$cache/debootstrap.log
    if ! debootstrap --variant=minbase bookworm "$root" "$url" >"$log" 2>&1; then
        tail -n 20 "$log"
        grep -Eq "Operation not permitted|Permission denied|cannot create device" "$log" &&
            skip "debootstrap was refused on this machine"
        fail "debootstrap failed (see $log)"
    fi
    chroot "$root" apt-get clean
    chmod 0755 "$root"
    tar -C "$root" --numeric-owner -czf "$tarball.partial" .
    mv "$tarball.partial" "$tarball"
    rm -rf "$root"
    root=
fi

step "unpack the bookworm root from $tarball"
root=$(mktemp -d /var/tmp/velto3gp-root.XXXXXX)
tar -C "$root" --numeric-owner -xzf "$tarball"
# mktemp's 0700 (also that of the bootstrapped root's top) would keep apt's unprivileged
# download user out of the whole root.
chmod 0755 "$root"
chroot "$root" /bin/true 2>/dev/null || skip "chroot is refused on this machine"
mount_in_root() {
    local target=$root$1
    shift
    mkdir -p "$target"
    mount "$@" "$target" || return 1
    mounts+=("$target")
}
mount_in_root /proc -t proc proc || skip "cannot mount /proc inside the root"
mount_in_root /dev --bind /dev || skip "cannot bind /dev inside the root"
mount_in_root /dev/pts --bind /dev/pts || true
mkdir -p "$cache/archives/partial"
mount_in_root /var/cache/apt/archives --bind "$cache/archives" ||
    skip "cannot bind the package cache inside the root"
chroot "$root" chown _apt:root /var/cache/apt/archives/partial

# The root uses the host's Debian sources (its mirror and security suite), resolver and
# no service starts.
rm -f "$root/etc/apt/sources.list"
for file in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && grep -q bookworm "$file" && grep -q debian "$file" &&
        cp "$file" "$root/etc/apt/sources.list.d/"
done
ls "$root/etc/apt/sources.list.d/"* >/dev/null 2>&1 ||
    echo "deb $(mirror) bookworm main" >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"

work=/tmp/velto3gp-check
mkdir -p "$root$work/home" "$root$work/out"
cp "$deb" "$root$work/"
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=$work/home \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
apt_get() { in_root apt-get -y -q -o Dpkg::Use-Pty=0 "$@"; }

step "apt-get update"
apt_get update >/dev/null
# What the root holds before, to tell the package's folders from folders others own.
in_root find / -xdev -path /proc -prune -o -path $work -prune -o -print | sort >"$root$work/before"

step "apt-get install ./$(basename "$deb") (Depends only)"
status=0
apt_get install --no-install-recommends "$work/$(basename "$deb")" >"$root$work/install.log" ||
    status=$?
if [ $status -ne 0 ]; then
    tail -n 30 "$root$work/install.log"
    fail "apt-get cannot install the package (status $status)"
fi
grep -E "^(Get|Fetched)" "$root$work/install.log" | tail -n 1 || true
[ "$(in_root dpkg-query -W -f='${Version}' $package)" = "$version" ] ||
    fail "dpkg does not list $package $version as installed"
in_root dpkg -L $package | sort >"$root$work/owned"
# The first alternative wins, so the AMR encoders are there for catalogues that ask for them.
in_root dpkg-query -W -f='${Status}' libavcodec-extra59 | grep -q "install ok installed" ||
    fail "the FFmpeg codec library with the AMR encoders was not installed"

step "velto3gp profiles, --version"
profiles=$(in_root velto3gp profiles) || fail "velto3gp profiles failed"
index=$(printf '%s\n' "$profiles" | awk -F '\t' '$2 ~ /^3GP/ { print $1; exit }')
[ -n "$index" ] || fail "velto3gp lists no 3GP profile: $profiles"
# The frame size the profile gives, "176 x 144", as ffprobe writes it.
size=$(in_root velto3gp profiles --json | sed -n "s/.*\"index\":$index,.*\"frame_size\":\"\([0-9]*\) x \([0-9]*\)\".*/\1x\2/p")
[ -n "$size" ] || fail "no frame size for profile $index in velto3gp profiles --json"
reported=$(in_root velto3gp --version)
case $reported in
"velto3gp ${version%-*} "*) echo "$reported" ;;
*) fail "velto3gp --version says '$reported', the package is $version" ;;
esac

# The media tools come only now, for this check, so they cannot have satisfied a dependency.
step "apt-get install ffmpeg appstream (for the check only)"
apt_get install --no-install-recommends ffmpeg appstream >/dev/null

step "convert a clip with profile $index ($(printf '%s\n' "$profiles" | awk -F '\t' -v i="$index" '$1 == i { print $2 }'))"
in_root ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 \
    -f lavfi -i sine=frequency=440:duration=2 -c:v mpeg4 -c:a mp2 "$work/clip.avi"
in_root velto3gp convert -p "$index" -o "$work/out" --quiet "$work/clip.avi" ||
    fail "velto3gp convert failed"
outputs=("$root$work/out"/*)
[ ${#outputs[@]} -eq 1 ] && [ -s "${outputs[0]}" ] || fail "expected one output, found: ${outputs[*]}"
output=$work/out/$(basename "${outputs[0]}")
probe=$(in_root ffprobe -v error -of csv=p=0 -show_entries stream=codec_type,codec_name,width,height \
    "$output") || fail "ffprobe cannot read $output"
container=$(in_root ffprobe -v error -of csv=p=0 -show_entries format=format_name,duration "$output")
echo "$probe"
echo "$container"
# The codecs a 3GP file may carry: H.263 or MPEG-4 video, AAC or AMR sound.
grep -Eq "^(h263|mpeg4),video,${size/x/,}$" <<<"$probe" ||
    fail "$output has no H.263 or MPEG-4 video of $size"
grep -Eq '^(aac|amr_nb|amr_wb),audio' <<<"$probe" || fail "$output has no AAC or AMR sound"
grep -q '3gp' <<<"$container" || fail "$output is not a 3GP file"
duration=${container##*,}
awk -v d="$duration" 'BEGIN { exit !(d > 1.8 && d < 2.3) }' ||
    fail "$output lasts $duration s, the clip 2 s"

step "the window under QT_QPA_PLATFORM=offscreen"
# Started directly (not through in_root) so that $! is the program itself: chroot and env exec.
chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=$work/home LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen Velto3GPConverter >"$root$work/window.log" 2>&1 &
pid=$!
sleep 5
if ! kill -0 "$pid" 2>/dev/null; then
    cat "$root$work/window.log"
    wait "$pid" && status=0 || status=$?
    pid=
    fail "the window ended within 5 s (status $status)"
fi
kill -TERM "$pid"
wait "$pid" && status=0 || status=$?
pid=
# Ended by the signal or by Qt's orderly quit; a crash would be SIGSEGV or SIGABRT.
case $status in
0 | 143) echo "the window ran 5 s and ended on SIGTERM (status $status)" ;;
*)
    cat "$root$work/window.log"
    fail "the window ended with status $status on SIGTERM"
    ;;
esac

step "appstreamcli validate --no-net"
in_root appstreamcli validate --no-net "/usr/share/metainfo/$appid.metainfo.xml" ||
    fail "appstreamcli refuses the installed metainfo"

step "apt-get purge $package"
apt_get purge $package >/dev/null
status=$(in_root dpkg-query -W -f='${Status}' $package 2>/dev/null || true)
case $status in
"" | *not-installed) ;;
*) fail "dpkg lists $package as '$status' after purge" ;;
esac
left=()
while IFS= read -r path; do
    [ "$path" = /. ] && continue
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    # A folder there before, or one that packages installed since also use, stays.
    if [ -d "$root$path" ] && [ ! -L "$root$path" ]; then
        grep -qxF -- "$path" "$root$work/before" && continue
        in_root dpkg-query -S "$path" >/dev/null 2>&1 && continue
    fi
    left+=("$path")
done <"$root$work/owned"
while IFS= read -r path; do
    left+=("$path")
done < <(in_root find / -xdev -path /proc -prune -o -path $work -prune -o -iname '*velto*' -print)
((${#left[@]} == 0)) || fail "purge left behind: ${left[*]}"

echo "package $package $version: lintian clean, installs, converts, runs, validates, purges" \
    "($((SECONDS - start)) s)"
