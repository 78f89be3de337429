#!/usr/bin/env bash
# Installs what is missing on Debian 12, builds, then runs the program ("run"), runs the checks
# ("test") or makes the Debian package in the build folder ("package").
# "test" runs the checks named in VELTO_CHECKS (default: normal package asan tsan fuzz):
#   normal  the normal build: every test alone in its process, and every test binary whole
#   package the .deb: lintian, then installed, run and purged in a throw-away Debian 12 root
#   asan    AddressSanitizer + UndefinedBehaviorSanitizer with leak checking: every binary whole
#   tsan    ThreadSanitizer: the thread, component, program and command-line binaries whole
#   fuzz    a clang build of the fuzz targets, each run for VELTO_FUZZ_SECONDS (default 20) s
# Each build lives in its own folder beside the normal one (build-asan, build-tsan, build-fuzz).
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELTO_BUILD_DIR:-$root/build}

# libavcodec-extra stands in for libavcodec59 (apt replaces it without asking) and brings the
# AMR-NB encoder the feature-phone 3GP profile uses.
packages=(build-essential cmake ninja-build pkg-config
    libavcodec-dev libavcodec-extra libavformat-dev libavutil-dev libswscale-dev libavfilter-dev
    libswresample-dev
    qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgtest-dev fonts-wqy-microhei
    desktop-file-utils dbus-daemon)
checks=" ${VELTO_CHECKS:-normal package asan tsan fuzz} "
[ "$mode" = test ] && [[ $checks == *" fuzz "* ]] && packages+=(clang libclang-rt-14-dev)
# The cluster checks (tests/cluster) drive velto3gp with GNU Parallel over SSH and a Slurm array.
[ "$mode" = test ] && [[ $checks == *" normal "* ]] &&
    packages+=(parallel openssh-server openssh-client rsync slurm-wlm munge python3)
# CPack's DEB generator asks dpkg-shlibdeps for Depends and file for the binaries to scan.
[ "$mode" = package ] && packages+=(dpkg-dev file)
[ "$mode" = test ] && [[ $checks == *" package "* ]] && packages+=(dpkg-dev file lintian debootstrap)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    # Daemons that come with the packages (sshd, munged, slurmctld, slurmd) are not started at
    # install: the checks start their own and stop them after.
    policy=""
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        policy=/usr/sbin/policy-rc.d
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod +x "$policy"
    fi
    installed=0
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" ||
        installed=$?
    [ -z "$policy" ] || $sudo rm -f "$policy"
    ((installed == 0)) || exit "$installed"
fi

launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# configure_and_build <folder> [cmake arguments...] [-- targets...]
configure_and_build() {
    local folder=$1 targets=()
    shift
    local args=()
    while (($#)) && [ "$1" != -- ]; do
        args+=("$1")
        shift
    done
    (($#)) && shift && targets=("$@")
    cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${args[@]}"
    if ((${#targets[@]})); then
        cmake --build "$folder" -j"$(nproc)" --target "${targets[@]}"
    else
        cmake --build "$folder" -j"$(nproc)"
    fi
}

# test_binaries <name>...: the test binaries among the names that have sources (tests/<folder>).
test_binaries() {
    local binary found=()
    for binary in "$@"; do
        [ -n "$(find "$root/tests/${binary#test_}" -name '*.cpp' 2>/dev/null | head -1)" ] &&
            found+=("$binary")
    done
    echo "${found[*]}"
}

# run_tests <name> <folder> [ctest arguments...]: prints and records the build's test count.
summary=()
passed_total=0
failed_total=0
run_tests() {
    local name=$1 folder=$2 log
    shift 2
    log="$folder/ctest-summary.log"
    local status=0
    (cd "$folder" && ctest --output-on-failure -j"$(nproc)" "$@") | tee "$log" || status=$?
    local total failed
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
    failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
    total=${total:-0}
    failed=${failed:-$((status ? 1 : 0))}
    summary+=("$name: $total tests, $((total - failed)) passed, $failed failed")
    passed_total=$((passed_total + total - failed))
    failed_total=$((failed_total + failed))
    return $status
}

# make_package: builds what the package holds in the normal build folder and prints the .deb.
make_package() {
    configure_and_build "$build" -- velto_package_files >&2
    rm -f "$build"/velto3gpconverter_*.deb
    (cd "$build" && cpack -G DEB) >&2
    ls "$build"/velto3gpconverter_*.deb
}

case "$mode" in
run)
    configure_and_build "$build"
    exec "$build/bin/Velto3GPConverter"
    ;;
test)
    supp="$root/scripts/sanitizers"
    start=$SECONDS
    status=0
    if [[ $checks == *" normal "* ]]; then
        configure_and_build "$build"
        run_tests "normal build" "$build" || status=1
    fi
    if [[ $checks == *" package "* ]]; then
        package_status=0
        package_log=$build/package-check.log
        mkdir -p "$build"
        : >"$package_log"
        deb=$(make_package) && "$root/tests/package/check_package.sh" "$deb" 2>&1 |
            tee "$package_log" || package_status=$?
        case $package_status in
        0) summary+=("package: lintian clean, installed, ran and purged in a Debian 12 root") ;;
        77) summary+=("package: skipped, $(sed -n 's/^SKIPPED: //p' "$package_log" | tail -n1)") ;;
        *)
            summary+=("package: FAILED")
            status=1
            ;;
        esac
    fi
    # The sanitizer builds run each binary whole: the sanitizers watch every test, and one
    # process per binary keeps the slower instrumented start-up cheap.
    if [[ $checks == *" asan "* ]]; then
        # Only what the tests need: the benchmarks would add build time and no test.
        configure_and_build "$build-asan" -DVELTO_SANITIZE=address,undefined -- \
            $(test_binaries test_engine test_core test_profiles test_ui test_app test_cli)
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1" \
            LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
            UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
            run_tests "AddressSanitizer+UBSan build" "$build-asan" -R '[.]whole$' || status=1
    fi
    if [[ $checks == *" tsan "* ]]; then
        read -r -a tsan_binaries <<<"$(test_binaries test_engine test_core test_app test_cli)"
        configure_and_build "$build-tsan" -DVELTO_SANITIZE=thread -- "${tsan_binaries[@]}"
        tsan_filter="^($(IFS='|'; echo "${tsan_binaries[*]}"))[.]whole$"
        # Three window tests run in the other builds only: the queue test restarts the window from
        # a forked child, which this build refuses; the desktop-file test starts
        # desktop-file-validate through QProcess, whose vfork-style start leaves this build's state
        # believing the process forked (later threads then die or race falsely); and the
        # desktop-services test's fake services answer on QtDBus's own uninstrumented threads.
        GTEST_FILTER='-DesktopServicesTest.*:DesktopFileTest.*:MainWindowTest.QueueComesBackAfterTheProgramIsKilled' \
        TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1" \
            run_tests "ThreadSanitizer build" "$build-tsan" -R "$tsan_filter" || status=1
    fi
    if [[ $checks == *" fuzz "* ]]; then
        CC=clang CXX=clang++ configure_and_build "$build-fuzz" -DVELTO_FUZZ=ON \
            -DVELTO_SANITIZE=address,undefined -DVELTO_BUILD_APP=OFF -DVELTO_BUILD_TESTS=OFF \
            -- fuzz_all
        if "$root/scripts/fuzz.sh" "$build-fuzz" "${VELTO_FUZZ_SECONDS:-20}"; then
            summary+=("fuzz targets: nothing found")
        else
            summary+=("fuzz targets: FOUND FAULTS")
            status=1
        fi
    fi
    printf '%s\n' "${summary[@]}"
    echo "checks took $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
    echo "$passed_total passed, $failed_total failed"
    exit $status
    ;;
package)
    deb=$(make_package)
    echo "$deb"
    ;;
*)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
