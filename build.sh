#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, builds, and then either runs the
# demo (./build.sh demo) or the test suite (./build.sh test).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build_dir=${VELXML_BUILD_DIR:-$here/build}
jobs=$(nproc 2>/dev/null || echo 2)

# shellcheck source=scripts/install-missing.sh
. "$here/scripts/install-missing.sh"
# The tool's vCard and iCalendar bridge needs KContacts and KCalendarCore.
packages=("${velxml_base_packages[@]}" libkf5contacts-dev libkf5calendarcore-dev)

configure_and_build() {
    cmake -S "$here" -B "$build_dir" "$@"
    cmake --build "$build_dir" -j"$jobs"
}

case "${1:-}" in
demo)
    shift
    install_missing "${packages[@]}"
    configure_and_build -DVELXML_BUILD_TESTS=OFF
    "$build_dir/tools/velxml/velxml" demo "$@"
    ;;
test)
    # The report test opens velxml's HTML pages in headless Chromium.
    install_missing "${packages[@]}" chromium
    configure_and_build -DVELXML_BUILD_TESTS=ON
    ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
    ;;
*)
    echo "usage: $0 demo [DIR] | test" >&2
    exit 2
    ;;
esac
