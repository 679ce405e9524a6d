#!/usr/bin/env bash
# Installs every Debian package that the build, the program and the tests
# need. Quiet and quick when everything is there already.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcanberra-dev libbenchmark-dev
  # run time: SQL drivers, sound, fonts
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc
  sound-theme-freedesktop fonts-dejavu-core
  # test peers: web server, proxy, SMTP server, database, network tools
  nginx-light tinyproxy python3 python3-aiosmtpd
  postgresql postgresql-contrib
  iproute2 iputils-ping curl sqlite3 smbclient poppler-utils
  openssl netcat-openbsd
  # secure mail and the password store: TLS peers, QtKeychain, a secret service
  qtkeychain-qt6-dev gnome-keyring libsecret-tools dbus dbus-x11
  python3-cryptography
  # a real X server, window tools and a notification daemon
  xvfb xdotool x11-utils dunst libnotify-bin
  # packaging checks and metrics
  lintian appstream desktop-file-utils dpkg-dev file fakeroot prometheus
  # sanitizers and fuzzing
  clang libfuzzer-14-dev libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
