#!/bin/sh
# Installs every build, test and run dependency on Debian 12 with apt-get.
# Idempotent and quiet when everything is already there. Needs root (or sudo).
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config
clang libclang-rt-14-dev
libgtest-dev googletest libbenchmark-dev
mingw-w64 wine64 wine
time python3 xvfb xdotool x11-utils x11-apps x11-xserver-utils imagemagick openbox
lintian desktop-file-utils groff-base
libx11-dev libxext-dev libxtst-dev libxrandr-dev
libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
qemu-system-x86 busybox-static kmod cpio v4l-utils udev
i3-wm sway xwayland seatd libinput-tools
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
