#!/bin/sh
# Installs the Debian packages in DIR with dpkg, checks the installed tool, its manual page when the
# package has one, and a C program built against the installed library through pkg-config alone, then
# purges the packages whatever happened. Needs root. Usage: check_installed.sh DIR CONSUMER.c
set -eu
dir=$1
consumer=$2
work=$(mktemp -d)
packages=$(for deb in "$dir"/*.deb; do dpkg-deb --field "$deb" Package; done)
trap 'dpkg --purge $packages >/dev/null; rm -rf "$work"' EXIT

dpkg --install "$dir"/*.deb >/dev/null
# The codec ends its lines with CRLF.
test "$(printf ozu | ozu-ddns base64 encode)" = "$(printf 'b3p1\r')"
if dpkg --listfiles ozu-ddns | grep -q '/man1/ozu-ddns\.1$'; then
    man -w ozu-ddns >/dev/null
else
    echo "check_installed: ozu-ddns has no manual page yet" >&2
fi
cc -Wall -Werror -o "$work/consumer" "$consumer" $(pkg-config --cflags --libs ozu_dnsupdate)
"$work/consumer"
pkg-config --exact-version="$(dpkg-query --showformat='${Version}' --show libozu-dnsupdate-dev)" ozu_dnsupdate
echo "check_installed: $(echo $packages) installed, checked and purged"
