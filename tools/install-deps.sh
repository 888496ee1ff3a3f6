#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need. Safe to run again.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qcoro-qt6-dev libsecret-1-dev libsecret-1-0 libqrencode-dev libicu-dev
    qt6-svg-dev qt6-l10n-tools fonts-noto-color-emoji fonts-quicksand
    googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libssl-dev
    openssl gnome-keyring dbus dbus-x11 xvfb xauth fonts-dejavu-core
    libxcb1-dev trayer zbar-tools desktop-file-utils xdg-utils
    openbox xdotool at-spi2-core python3 python3-pyatspi imagemagick ccache
    clang libclang-rt-14-dev
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
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
