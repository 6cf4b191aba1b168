#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The panel under Xvfb, driven through the accessibility tree against the local service.
#   run_panel_accessibility.sh APP SERVICE PORT [SERVICE_DIR]
# APP was built to reach the service on 127.0.0.1:PORT. Everything runs on a bus of its own: a
# Secret Service (gnome-keyring), the accessibility bus, and, when SERVICE_DIR holds D-Bus
# service files (the extension's), whatever they start. Exits 77 (skipped) when something it
# needs is missing.
set -euo pipefail
app=$1 service=$2 port=$3 services=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

for tool in Xvfb xdotool dbus-daemon gnome-keyring-daemon oathtool /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: python3-pyatspi"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbal-a11y-XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/{home,data,config,cache,runtime,service}
chmod 700 "$work/runtime" "$work/service"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"

# A bus of our own, which can start the extension when its service files are given.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work/runtime</listen>
  <standard_session_servicedirs/>
  ${services:+<servicedir>$services</servicedir>}
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
CONF
eval "$(dbus-launch --config-file="$work/bus.conf" --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")
eval "$(printf 'nimbal-test' | gnome-keyring-daemon --unlock --components=secrets)"
export GNOME_KEYRING_CONTROL

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
/usr/libexec/at-spi-bus-launcher --launch-immediately &
pids+=($!)
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0

# The account: password and authenticator.
email="a11y@nimbal.example" password="a11y-$(openssl rand -hex 6)"
secret=$(openssl rand 20 | base32 | tr -d '=')
"$service" add-account --data "$work/service" --email "$email" --password "$password" \
    --totp-secret "$secret" --quota-mb 2048 >/dev/null
"$service" serve --data "$work/service" --port "$port" >"$work/service.out" 2>"$work/service.log" &
pids+=($!)
for _ in $(seq 100); do grep -q '^nimbal-service listening on ' "$work/service.out" && break; sleep 0.1; done
grep -q '^nimbal-service listening on ' "$work/service.out" ||
    { echo "skipped: the service could not listen on port $port"; exit 77; }

"$app" >"$work/app.log" 2>&1 &
pids+=($!)
status=0
/usr/bin/python3 "$here/panel_accessibility.py" "$email" "$password" "$secret" ${NIMBAL_PANEL_SCREENS:+"$NIMBAL_PANEL_SCREENS"} || status=$?
if [ "$status" -ne 0 ]; then
    echo "--- application log"; cat "$work/app.log"
fi
exit "$status"
