# Sourced by the project's scripts. install_missing PKG... installs, with
# apt-get and without recommended packages, those Debian packages among
# PKG... that are not installed yet; it does nothing when all are there.
# sudo is used when not running as root.

# What building the library and its tests needs.
velxml_base_packages=(g++ make cmake pkg-config qtbase5-dev tzdata)

install_missing() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
