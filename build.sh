#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, builds, and then either runs the
# demo (./build.sh demo) or the test suite (./build.sh test).
#
# Qt 5 by default; `--qt 6` (or VELXML_QT=6 in the environment) builds against
# Qt 6 instead, in build-qt6/. VELXML_BUILD_DIR overrides the build folder.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
qt=${VELXML_QT:-5}

usage() {
    echo "usage: $0 [--qt 5|6] demo [DIR] | test" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
    --qt) [ $# -ge 2 ] || usage; qt=$2; shift 2 ;;
    --qt=*) qt=${1#--qt=}; shift ;;
    *) break ;;
    esac
done
case "$qt" in
5) build_dir=${VELXML_BUILD_DIR:-$here/build}; tool=velxml ;;
6) build_dir=${VELXML_BUILD_DIR:-$here/build-qt6}; tool=velxml-qt6 ;;
*) echo "$0: the Qt major version is 5 or 6, not '$qt'" >&2; usage ;;
esac

# shellcheck source=scripts/install-missing.sh
. "$here/scripts/install-missing.sh"
# With Qt 5 also KContacts and KCalendarCore, for the tool's vCard and
# iCalendar bridge; with Qt 6 their KF6 versions where Debian has them.
read -r -a packages <<<"$(velxml_packages "$qt" | tr '\n' ' ')"

configure_and_build() {
    cmake -S "$here" -B "$build_dir" -DQT_MAJOR_VERSION="$qt" "$@"
    cmake --build "$build_dir" -j"$jobs"
}

case "${1:-}" in
demo)
    shift
    install_missing "${packages[@]}"
    configure_and_build -DVELXML_BUILD_TESTS=OFF
    "$build_dir/tools/velxml/$tool" demo "$@"
    ;;
test)
    # The report test opens velxml's HTML pages in headless Chromium.
    install_missing "${packages[@]}" chromium
    configure_and_build -DVELXML_BUILD_TESTS=ON
    ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
    ;;
*) usage ;;
esac
