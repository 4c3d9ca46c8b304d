#!/usr/bin/env bash
# Installs what the project needs from Debian's packages, builds into build/,
# and with "test" runs every test beside a private PostgreSQL server.
#
#   bash tools/build.sh          install and build
#   bash tools/build.sh test     install, build and run the tests, then build the
#                                Windows programs and run their tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config unixodbc unixodbc-dev odbcinst qt6-base-dev libgtest-dev nlohmann-json3-dev dpkg-dev file)
test_packages=(libsqliteodbc odbc-postgresql postgresql tdsodbc python3)

missing=()
for p in "${packages[@]}" "${test_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

if [ "${1:-}" = "test" ]; then
    export QT_QPA_PLATFORM=offscreen
    tests/with-postgres.sh ctest --test-dir build --output-on-failure -j2
    tools/check-packages.sh build
    # The Windows leg: both bitnesses cross-built, their tests run under Wine, the installers checked.
    bash tools/build-windows.sh test
fi
