#!/bin/sh
# Runs a command with a real notification daemon: a private D-Bus session,
# an X server (Xvfb) and dunst on it, so that tests can send desktop
# notifications and read back what dunst showed (dunstctl history). Needs
# the packages dbus, xvfb (xvfb-run) and dunst; no person and no stdin.
# Usage: scripts/with-dunst.sh COMMAND [ARG...]
set -e
if [ -z "$SENTROVA_DUNST_SESSION" ]; then
    for tool in dbus-run-session xvfb-run dunst dunstctl; do
        command -v "$tool" >/dev/null 2>&1 || { echo "with-dunst: $tool is missing (packages dbus, xvfb, dunst)" >&2; exit 3; }
    done
    export SENTROVA_DUNST_SESSION=1
    exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@" </dev/null
fi
# Inside the session and the X server.
conf="$(mktemp)"
cat >"$conf" <<'CONF'
[global]
    history_length = 100
    markup = full
    format = "<b>%s</b>\n%b"
    font = DejaVu Sans 10
    icon_position = left
    min_icon_size = 32
    max_icon_size = 32
CONF
dunst -config "$conf" >/dev/null 2>&1 &
dunst_pid=$!
i=0
# Asking dunst itself before it owns the name would start a second one.
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q true; do
    i=$((i + 1))
    if [ "$i" -gt 100 ]; then echo "with-dunst: dunst did not start" >&2; kill "$dunst_pid" 2>/dev/null; exit 3; fi
    sleep 0.1
done
set +e
"$@"
rc=$?
kill "$dunst_pid" 2>/dev/null
wait "$dunst_pid" 2>/dev/null
rm -f "$conf"
exit "$rc"
