# Sourced by the project's scripts. install_missing PKG... installs, with
# apt-get and without recommended packages, those Debian packages among
# PKG... that are not installed yet; it does nothing when all are there.
# sudo is used when not running as root.

# What building the library and its tests needs (with Qt 5, the default);
# the local-time test reads the zone files of tzdata.
velxml_base_packages=(g++ make cmake pkg-config qtbase5-dev tzdata)

# velxml_packages QT: the same for Qt major version QT (5 or 6), and the
# KContacts and KCalendarCore of the matching KDE Frameworks for velxml's
# vCard and iCalendar bridge: KF5 always, KF6 where the distribution has it
# (Debian 12 does not). python3-icalendar and python3-vobject read the
# bridge's iCalendar output in its tests as other calendars would.
velxml_packages() {
    local qt=$1
    if [ "$qt" = 5 ]; then
        echo g++ make cmake pkg-config qtbase5-dev tzdata libkf5contacts-dev libkf5calendarcore-dev \
            python3-icalendar python3-vobject
        return 0
    fi
    echo g++ make cmake pkg-config qt6-base-dev tzdata
    if apt-cache show libkf6contacts-dev libkf6calendarcore-dev >/dev/null 2>&1; then
        echo libkf6contacts-dev libkf6calendarcore-dev python3-icalendar python3-vobject
    fi
    return 0
}

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
