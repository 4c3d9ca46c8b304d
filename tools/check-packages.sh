#!/usr/bin/env bash
# Builds the Debian packages from a build folder, installs them with apt as a
# user would, runs the installed program, and removes the packages again.
#   tools/check-packages.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rm -f "$build"/selvane-sp*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/selvane-sp-cli_*.deb "$build"/selvane-sp_*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq selvane-sp selvane-sp-cli >/dev/null' EXIT
/usr/bin/selvane-sp --version
/usr/bin/selvane-sp --script sqlserver >/dev/null
test -x /usr/bin/selvane-sp-window
man -w selvane-sp >/dev/null 2>&1 || test -f /usr/share/man/man1/selvane-sp.1.gz || test -f /usr/share/man/man1/selvane-sp.1
echo "Packages: $(for d in "${debs[@]}"; do basename "$d"; done | tr '\n' ' ')installed, run and removed"
dpkg-deb -f "$build"/selvane-sp-cli_*.deb Depends | sed 's/^/  selvane-sp-cli depends on: /'
dpkg-deb -f "$build"/selvane-sp_*.deb Depends | sed 's/^/  selvane-sp depends on: /'
