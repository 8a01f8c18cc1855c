#!/usr/bin/env bash
# cmake --install to a prefix of its own: programs, manual pages and service
# units in place, the units' ExecStart at that prefix, and the units as
# systemd itself checks them.
#
#   tests/packaging/install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install.sh: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kestrel bin/zeno-host share/man/man1/kestrel.1 share/man/man1/zeno-host.1 \
    share/kestrel/help.html lib/systemd/system/kestrel.service lib/systemd/system/kestrel-host.service; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
grep -qx "ExecStart=$prefix/bin/kestrel --headless .*" "$prefix/lib/systemd/system/kestrel.service" ||
    fail "kestrel.service does not start $prefix/bin/kestrel"
grep -qx "ExecStart=$prefix/bin/zeno-host \$ZENO_HOST_BRIDGE" "$prefix/lib/systemd/system/kestrel-host.service" ||
    fail "kestrel-host.service does not start $prefix/bin/zeno-host"
grep -qx "Restart=always" "$prefix/lib/systemd/system/kestrel.service" || fail "kestrel.service is not restarted always"
# The host unit's command line runs each kind of bridge the README shows,
# word-split as systemd splits $ZENO_HOST_BRIDGE: each keeps trying its TNC.
exec_start=$(sed -n 's/^ExecStart=//p' "$prefix/lib/systemd/system/kestrel-host.service")
for bridge in "agw 127.0.0.1:9" "kiss 127.0.0.1:9" "kiss $prefix/ttyNONE --baud 9600"; do
    status=0
    # (A build with shared layers, as the mutation run makes, does not
    # install them: they are found in the build.)
    LD_LIBRARY_PATH=$build ZENO_MAILBOX=$prefix/mailbox ZENO_HOST_BRIDGE=$bridge timeout 1 \
        ${exec_start//\$ZENO_HOST_BRIDGE/$bridge} 2>"$prefix/said" || status=$?
    [ $status -eq 124 ] && grep -q "^zeno-host: no .* at " "$prefix/said" ||
        fail "the host unit's command line with \"$bridge\": $(cat "$prefix/said")"
done
for page in kestrel zeno-host; do
    [ -z "$(groff -man -ww -z "$prefix/share/man/man1/$page.1" 2>&1)" ] || fail "$page.1 has warnings"
done
command -v systemd-analyze >/dev/null || { echo "install.sh: no systemd-analyze" >&2; exit 77; }
MANPATH=$prefix/share/man systemd-analyze verify "$prefix"/lib/systemd/system/kestrel*.service ||
    fail "systemd-analyze verify found problems"
echo "install.sh: installed and verified under $prefix"
