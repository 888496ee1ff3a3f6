#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need. Safe to run again.
set -euo pipefail

packages=(
    cmake g++ clang-16 lld-16 libclang-rt-16-dev llvm-16 ninja-build pkg-config ccache
    qt6-base-dev qcoro-qt6-dev libsecret-1-dev libsecret-1-0 libqrencode-dev libicu-dev
    qt6-svg-dev qt6-l10n-tools fonts-noto-color-emoji fonts-quicksand
    googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libssl-dev libc-ares-dev
    openssl curl gnome-keyring dbus dbus-x11 xvfb xauth fonts-dejavu-core
    libxcb1-dev trayer zbar-tools desktop-file-utils xdg-utils
    openbox xdotool at-spi2-core python3 python3-pyatspi python3-tk imagemagick
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
# Another install (an unattended upgrade, a second terminal) may hold the package manager: wait for it
# rather than fail.
lock_wait=(-o DPkg::Lock::Timeout=300)
echo "Installing ${#missing[@]} Debian packages: ${missing[*]}"
echo "(waiting up to 5 minutes whenever another install holds the package manager)"
$sudo apt-get "${lock_wait[@]}" update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get "${lock_wait[@]}" install -y -q --no-install-recommends "${missing[@]}"
