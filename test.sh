#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# Servers the tests talk to (PostgreSQL); stopped again when the run ends.
source ./scripts/test-servers.sh
start_test_servers
trap stop_test_servers EXIT
ctest --test-dir build --output-on-failure "$@"
