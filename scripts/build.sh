#!/usr/bin/env bash
# Installs what is missing on Debian 12, builds, then runs the program ("run") or every test ("test").
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTO_BUILD_DIR:-$root/build}

packages=(build-essential cmake ninja-build pkg-config
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libavfilter-dev libswresample-dev
    qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgtest-dev fonts-wqy-microhei
    desktop-file-utils)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

case "$mode" in
run)
    exec "$build/bin/Velto3GPConverter"
    ;;
test)
    cd "$build"
    ctest --output-on-failure -j"$(nproc)"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
