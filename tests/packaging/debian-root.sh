#!/usr/bin/env bash
# The Debian package installed in a clean Debian 12 root: the programs, the
# manual pages and the units in place, the units as systemd checks them, the
# service user and its program folder with the safe settings.
#
#   tests/packaging/debian-root.sh BUILD_DIR      (as root; fetches Debian 12)
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -ne 0 ] || ! command -v mmdebstrap >/dev/null; then
    echo "debian-root.sh: needs root and mmdebstrap" >&2
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(ls "$work"/package/kestrel_*.deb)

# Whatever fails inside the root says so on a line of its own.
mmdebstrap --quiet --variant=apt --include=ca-certificates,systemd,man-db \
    --customize-hook="copy-in $deb /tmp" \
    --customize-hook="chroot \"\$1\" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/${deb##*/}" \
    --customize-hook='chroot "$1" sh -c "
        for f in /usr/bin/kestrel /usr/bin/zeno-host /var/lib/kestrel/kestrel.ini \
            /var/lib/kestrel/Web/server.htm /var/lib/kestrel/Logs_Kestrel; do
            [ -e \$f ] || echo FAILED: \$f is missing; done
        man -w kestrel zeno-host >/dev/null || echo FAILED: the manual pages
        systemd-analyze verify /usr/lib/systemd/system/kestrel.service \
            /usr/lib/systemd/system/kestrel-host.service || echo FAILED: systemd-analyze verify
        [ \$(stat -c %U /var/lib/kestrel/kestrel.ini) = kestrel ] || echo FAILED: the folder is not the user s
        grep -q \"^IGate>RF Port=0.\$\" /var/lib/kestrel/kestrel.ini || echo FAILED: Internet-to-RF is on
        kestrel --version | grep -q \"^Kestrel \" || echo FAILED: kestrel does not run
        runuser -u kestrel -- zeno-host --mailbox /var/lib/kestrel/.zeno/registry init \
            --call N0CALL-10 --path /var/lib/kestrel/zeno --beacon \"!4903.50N/07201.75W-My IGate\" \
            >/dev/null || echo FAILED: the README s zeno-host init as the service user
        runuser -u kestrel -- kestrel --check --program-dir /var/lib/kestrel \
            --mailbox /var/lib/kestrel/.zeno/registry >/dev/null || echo FAILED: the README s --check
    " >"$1/tmp/outcome" 2>&1' \
    --customize-hook="copy-out /tmp/outcome $work" \
    bookworm "$work/root" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
if grep FAILED "$work/outcome" >&2; then
    exit 1
fi
echo "debian-root.sh: the package installs and checks out in a clean Debian 12 root"
