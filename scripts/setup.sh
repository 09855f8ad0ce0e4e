#!/bin/sh
# Installs the Debian packages the build and the tests need, if any is missing.
set -e
PACKAGES="cmake ninja-build g++ g++-multilib clang libclang-rt-14-dev clang-format-14 \
googletest libgtest-dev libbenchmark-dev libmuparser-dev libpng-dev locales make tshark \
libcpp-httplib-dev libturbojpeg0-dev pkg-config chromium"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    # wireshark-common asks whether non-root users may capture: answer no.
    echo "wireshark-common wireshark-common/install-setuid boolean false" |
        $SUDO debconf-set-selections
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
