#!/bin/sh
# Runs a command inside a private D-Bus session whose Secret Service is a
# gnome-keyring-daemon with its login keyring unlocked by a known password,
# so that tests of the secret store need no person and no desktop. The
# keyring files go to $XDG_DATA_HOME (or $HOME/.local/share): give the
# command a private HOME. Usage: scripts/with-keyring.sh COMMAND [ARG...]
set -e
for tool in dbus-run-session gnome-keyring-daemon; do
    command -v "$tool" >/dev/null 2>&1 || { echo "with-keyring: $tool is missing (packages dbus, gnome-keyring)" >&2; exit 3; }
done
exec dbus-run-session -- sh -c '
    # An empty password would leave no login collection to store into.
    printf "%s" "sentrova-test-keyring" | gnome-keyring-daemon --unlock --replace --components=secrets >/dev/null 2>&1
    "$@"' with-keyring "$@"
