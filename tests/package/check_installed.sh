#!/bin/sh
# Installs the Debian packages in DIR with dpkg, checks the installed programs' versions and manual
# pages, and a C program built against the installed library through pkg-config alone, then
# purges the packages whatever happened. Needs root. Usage: check_installed.sh DIR CONSUMER.c
set -eu
dir=$1
consumer=$2
work=$(mktemp -d)
packages=$(for deb in "$dir"/*.deb; do dpkg-deb --field "$deb" Package; done)
trap 'dpkg --purge $packages >/dev/null; rm -rf "$work"' EXIT

dpkg --install "$dir"/*.deb >/dev/null
version=$(dpkg-query --showformat='${Version}' --show ozu-ddns)
test "$(ozu-ddns --version)" = "ozu-ddns $version"
test "$(ozu-ddns-server --version)" = "ozu-ddns-server $version"
man -w 1 ozu-ddns >/dev/null
man -w 5 ozu-ddns.conf >/dev/null
man -w 8 ozu-ddns-server >/dev/null
cc -Wall -Werror -o "$work/consumer" "$consumer" $(pkg-config --cflags --libs ozu_dnsupdate)
"$work/consumer"
pkg-config --exact-version="$(dpkg-query --showformat='${Version}' --show libozu-dnsupdate-dev)" ozu_dnsupdate
echo "check_installed: $(echo $packages) installed, checked and purged"
