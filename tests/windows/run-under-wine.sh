#!/usr/bin/env bash
# Runs the Windows build of the registry store test under Wine, in a Wine
# prefix of its own that is removed afterwards. Exit 77 (skipped) where Wine
# is not installed.
set -u
exe=$1
if ! command -v wine >/dev/null; then
    echo "wine is not installed (./run test installs it); skipped"
    exit 77
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-wine.XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko set-up: the test needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null; rm -rf "$prefix"' EXIT
timeout 300 wine "$exe"
