#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
# SANITIZE=1: AddressSanitizer and UndefinedBehaviorSanitizer, in a build
# folder of their own.
BUILD=build
FLAGS=()
if [ "${SANITIZE:-0}" = 1 ]; then
  BUILD=build-sanitize
  FLAGS=(-DSENTROVA_SANITIZE=ON)
fi
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${FLAGS[@]}" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
# Servers the tests talk to (PostgreSQL); stopped again when the run ends.
source ./scripts/test-servers.sh
start_test_servers
trap stop_test_servers EXIT
ctest --test-dir "$BUILD" --output-on-failure "$@"
