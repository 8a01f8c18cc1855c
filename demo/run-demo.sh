#!/usr/bin/env bash
# The demo station: a fresh copy of demo/program as program folder, the
# host's stand-in replaying a recorded ISS pass into the mailbox, a loopback
# APRS-IS server and look-up service, and Kestrel beside them, connected at once (a window when a
# display is present, headless otherwise).
#
#   demo/run-demo.sh BUILD_DIR [kestrel options...]
#   DEMO_SECONDS=N ends the demo after N seconds (as closing the window does).
set -euo pipefail
build=$(readlink -f "$1"); shift
here=$(dirname "$(readlink -f "$0")")
run=$(dirname "$here")/run-demo

rm -rf "$run"
mkdir -p "$run"
cp -r "$here/program" "$run/program"
cp -r "$here/zeno" "$run/zeno"
mailbox="$run/mailbox"
zenohost="$build/zeno-host"

"$zenohost" --mailbox "$mailbox" init --call N0KST-10 --path "$run/zeno"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# A loopback APRS-IS server, feeding a little traffic once logged in.
"$build/aprsis-test-server" --port 14580 --feed "$here/aprs-is-feed.txt" --every 7000 &
pids+=($!)

# A loopback stand-in for the look-up service that has the ISS's position.
"$build/http-test-server" --port 8081 --page "$here/iss-page.html" &
pids+=($!)

# What Kestrel commands, as the host sees it.
"$zenohost" --mailbox "$mailbox" watch 2>"$run/watch.err" > >(sed -u "s/^/[zeno-host] /") &
pids+=($!)
# Kestrel's first commands come at once; let the watch be ready for them.
for _ in $(seq 50); do
    grep -q watching "$run/watch.err" 2>/dev/null && break
    sleep 0.1
done
"$zenohost" --mailbox "$mailbox" replay "$here/iss-pass.txt" --every 1500 --loop &
pids+=($!)

mode=()
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    mode=(--headless --list-all)
    echo "demo: no display; running headless (Ctrl-C ends it, lists saved)" >&2
fi
echo "demo: program folder $run/program, mailbox $mailbox" >&2

# Started from this shell (not exec'd), so the stand-ins are stopped after it.
"$build/kestrel" "${mode[@]}" --connect --web-address 127.0.0.1 --program-dir "$run/program" --mailbox "$mailbox" "$@" &
kestrel=$!
pids+=("$kestrel")
# The ISS object runs once a minute; the first one now (as F5 does).
(sleep 3; kill -USR1 "$kestrel" 2>/dev/null) &
pids+=($!)
if [ -n "${DEMO_SECONDS:-}" ]; then
    (sleep "$DEMO_SECONDS"; kill -TERM "$kestrel" 2>/dev/null) &
    pids+=($!)
fi
trap 'kill -TERM "$kestrel" 2>/dev/null || true' INT TERM
status=0
wait "$kestrel" || status=$?
# A signal interrupts the first wait; the program is still saving its lists.
while kill -0 "$kestrel" 2>/dev/null; do wait "$kestrel" || status=$?; done
echo "demo: Kestrel ended with status $status; logs in $run/program/Logs_Kestrel" >&2
exit "$status"
