#!/usr/bin/env bash
# Checks on a bare Debian bookworm, in throw-away copies of a minimal chroot
# (debootstrap --variant=minbase). Needs root, the network and debootstrap
# (installed when missing); takes some 10 minutes, most of it downloads.
#
#   tests/package/check-debs.sh [debs|qt6only|all]     (default: all)
#
#   debs     builds the Debian packages of the Qt 5 and the Qt 6 flavour
#            (cpack -G DEB), installs all six at once with
#            `apt-get install ./*.deb`, runs both tools' demo, checks that
#            velxml-qt6 export writes the bytes velxml export writes (apart
#            from "created") and that each tool reads the other's set, then
#            builds and runs a consumer of each flavour through find_package()
#            and through pkg-config.
#   qt6only  installs qt6-base-dev, cmake and g++ (and not qtbase5-dev),
#            copies the source tree in, builds with -DQT_MAJOR_VERSION=6 and
#            runs ctest.
#
# Environment: VELXML_CHROOT_BASE (the pristine chroot, made when missing;
# default build-chroot/bookworm), VELXML_CHECK_DIR (work folder; default
# build-debcheck), VELXML_DEBIAN_MIRROR (default http://deb.debian.org/debian).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
base=${VELXML_CHROOT_BASE:-$here/build-chroot/bookworm}
work=${VELXML_CHECK_DIR:-$here/build-debcheck}
mirror=${VELXML_DEBIAN_MIRROR:-http://deb.debian.org/debian}
jobs=$(nproc 2>/dev/null || echo 2)

# shellcheck source=../../scripts/install-missing.sh
. "$here/scripts/install-missing.sh"

[ "$(id -u)" -eq 0 ] || { echo "check-debs.sh: run as root (chroot)" >&2; exit 2; }

make_base() {
    [ -x "$base/usr/bin/apt-get" ] && return 0
    install_missing debootstrap
    mkdir -p "$(dirname "$base")"
    debootstrap --variant=minbase bookworm "$base" "$mirror"
}

mounted=()
cleanup() {
    for dir in "${mounted[@]}"; do umount "$dir" 2>/dev/null || true; done
}
trap cleanup EXIT

# A fresh copy of the pristine chroot at $1, with the machine's name service
# and bookworm's updates, ready for apt-get.
fresh_root() {
    local root=$1
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
    cp -a "$base" "$root"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
    mount -t proc proc "$root/proc"
    mounted+=("$root/proc")
}

in_root() {
    local root=$1
    shift
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        TZ=UTC0 DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$*"
}

apt_in_root() {
    local root=$1
    shift
    in_root "$root" "apt-get update -qq && apt-get install -y -qq --no-install-recommends $*"
}

release() {
    umount "$1/proc"
    rm -rf "$1"
}

check_debs() {
    install_missing "${velxml_base_packages[@]}" qt6-base-dev libkf5contacts-dev \
        libkf5calendarcore-dev dpkg-dev
    local debs=$work/debs root=$work/root-debs
    rm -rf "$debs"
    mkdir -p "$debs"
    for qt in 5 6; do
        local build=$work/build-qt$qt
        cmake -S "$here" -B "$build" -DQT_MAJOR_VERSION=$qt -DCMAKE_INSTALL_PREFIX=/usr \
            -DCMAKE_BUILD_TYPE=Release -DVELXML_BUILD_TESTS=OFF
        cmake --build "$build" -j"$jobs"
        (cd "$build" && cpack -G DEB -B "$build/packages")
        cp "$build"/packages/*.deb "$debs/"
    done
    ls -1 "$debs"

    fresh_root "$root"
    mkdir -p "$root/debs" "$root/consumer"
    cp "$debs"/*.deb "$root/debs/"
    cp "$here/tests/package/CMakeLists.txt" "$here/tests/package/consumer.cpp" "$root/consumer/"
    echo "== apt-get install ./*.deb on a bare Debian"
    in_root "$root" "apt-get update -qq && cd /debs && apt-get install -y -qq --no-install-recommends ./*.deb"
    echo "== both tools' demo, and the same set from both"
    in_root "$root" '
        for tool in velxml velxml-qt6; do
            $tool demo /tmp/demo-$tool >/tmp/demo-$tool.txt
            head -n 3 /tmp/demo-$tool.txt
        done
        for tool in velxml velxml-qt6; do
            $tool dump --json "/tmp/demo-velxml/dir_%1.xml" >/tmp/items.jsonl
            $tool export --application VelDirectory --page-size 5 /tmp/items.jsonl "/tmp/$tool-%1.xml"
        done
        for page in 00 01 02; do
            cmp <(sed "s/ created=\"[^\"]*\"//" /tmp/velxml-$page.xml) \
                <(sed "s/ created=\"[^\"]*\"//" /tmp/velxml-qt6-$page.xml)
        done
        cmp <(velxml dump --json "/tmp/velxml-qt6-%1.xml") <(velxml-qt6 dump --json "/tmp/velxml-%1.xml")
        velxml validate "/tmp/velxml-qt6-%1.xml" && velxml-qt6 validate "/tmp/velxml-%1.xml"
        echo "same bytes, apart from created; each reads the other'"'"'s set"'
    echo "== a consumer of each flavour, through find_package() and pkg-config"
    apt_in_root "$root" g++ make cmake pkg-config
    in_root "$root" '
        for package in VELXMLImpExp VELXMLImpExp-qt6; do
            cmake -S /consumer -B /tmp/consumer-$package -DVELXML_PACKAGE=$package >/dev/null
            cmake --build /tmp/consumer-$package >/dev/null
            /tmp/consumer-$package/consumer
            c++ -std=c++17 -fPIC /consumer/consumer.cpp -o /tmp/pc-$package \
                $(pkg-config --cflags --libs $package)
            /tmp/pc-$package
            echo "$package: find_package and pkg-config consumers run"
        done'
    release "$root"
}

check_qt6only() {
    local root=$work/root-qt6only
    fresh_root "$root"
    apt_in_root "$root" g++ make cmake pkg-config qt6-base-dev
    in_root "$root" '! dpkg-query -W -f="\${Status}" qtbase5-dev 2>/dev/null | grep -q installed'
    mkdir -p "$root/src"
    tar -C "$here" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$root/src" -xf -
    echo "== Qt 6 only: build and ctest"
    in_root "$root" "cmake -S /src -B /build -DQT_MAJOR_VERSION=6 >/dev/null
        cmake --build /build -j$jobs >/dev/null
        ctest --test-dir /build --output-on-failure -j$jobs"
    release "$root"
}

mkdir -p "$work"
make_base
case "${1:-all}" in
debs) check_debs ;;
qt6only) check_qt6only ;;
all)
    # One after the other: `a && b` would switch off set -e inside a.
    check_debs
    check_qt6only
    ;;
*)
    echo "usage: $0 [debs|qt6only|all]" >&2
    exit 2
    ;;
esac
echo "check-debs.sh: all checks passed"
