# Shared by the project's scripts: the root of the tree, and installing what a step needs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# need PACKAGE... : makes sure the Debian packages are installed. As root it installs the missing
# ones with apt-get; otherwise it prints the command that would, and stops.
need() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}"
    if [ -z "${apt_updated:-}" ]; then
        apt-get update -q >/dev/null
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# try_need PACKAGE... : like need, but returns non-zero instead of stopping when they cannot be had.
try_need() {
    ( need "$@" ) || return 1
}

build_packages=(cmake ninja-build g++ libncurses-dev)

# The status of a test suite that could not run on this machine, as opposed to one that passed.
SkippedStatus=77
