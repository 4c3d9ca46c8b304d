#!/usr/bin/env bash
# Builds the Windows programs, 64- and 32-bit, with MinGW-w64 and their NSIS
# installers into dist/, installing the Debian packages this needs. With
# "test" it then runs the tests of both builds under Wine (beside a private
# PostgreSQL server, the window test on a virtual X display) and installs,
# starts and uninstalls each installer under Wine.
#
#   bash tools/build-windows.sh          install, build, make the installers
#   bash tools/build-windows.sh test     the same, then every Windows test
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=${1:-}  # read now: the loops below reuse the positional parameters
version=5.04.0002

# 32-bit Windows programs need 32-bit Wine and the i386 ODBC libraries.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=yes
fi
packages=(cmake make googletest nlohmann-json3-dev nsis xvfb
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev g++-mingw-w64-i686-posix mingw-w64-i686-dev
    wine wine64 wine32:i386
    unixodbc libsqliteodbc odbc-postgresql postgresql
    libodbc2:i386 libsqliteodbc:i386 odbc-postgresql:i386)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    apt-get update -qq
    if [ ${#missing[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
fi

# Test discovery runs the test programs under Wine at build time already: the
# Wine servers of both test prefixes run for good until this script ends.
test_prefixes=${XDG_CACHE_HOME:-$HOME/.cache}/selvane-sp-wine
wine_prefixes=$(mktemp -d /tmp/sp-wine-prefixes.XXXXXX)
xvfb=
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    for p in "$test_prefixes"/win64 "$test_prefixes"/win32 "$wine_prefixes"/*; do
        [ -d "$p" ] || continue
        WINEPREFIX=$p /usr/lib/wine/wineserver64 -k 2>/dev/null || true
        WINEPREFIX=$p /usr/lib/wine/wineserver32 -k 2>/dev/null || true
    done
    rm -rf "$wine_prefixes"
}
trap cleanup EXIT
tests/wine-run.sh --serve 64
tests/wine-run.sh --serve 32

builds=("x64 build-win64 cmake/mingw-w64-x86_64.cmake" "x86 build-win32 cmake/mingw-w64-i686.cmake")
mkdir -p dist
for b in "${builds[@]}"; do
    set -- $b
    cmake -S . -B "$2" -DCMAKE_TOOLCHAIN_FILE="$3" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$2" -j2
    makensis -V2 -DARCH="$1" -DBUILD="$root/$2" -DOUTFILE="$root/dist/selvane-sp-$version-$1-setup.exe" \
        installer/selvane-sp.nsi
done
ls -l dist

[ "$mode" = "test" ] || exit 0

started=$(date +%s)

# The window test needs a display; a private virtual one.
display=
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=:$n; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display

# Both builds list the same tests: a build whose programs did not run under
# Wine would list none (a 32-bit program under 64-bit Wine alone prints nothing).
counts=()
for b in "${builds[@]}"; do
    set -- $b
    counts+=("$(ctest --test-dir "$2" -N | sed -n 's/^Total Tests: //p')")
done
echo "Windows tests: ${counts[0]} (x64), ${counts[1]} (x86)"
if [ "${counts[0]:-0}" -lt 40 ] || [ "${counts[0]}" != "${counts[1]}" ]; then
    echo "$0: the two builds do not list the same tests: x64 ${counts[0]}, x86 ${counts[1]}" >&2
    exit 1
fi
for b in "${builds[@]}"; do
    set -- $b
    echo "== Windows tests, $1 (under Wine)"
    tests/with-postgres.sh ctest --test-dir "$2" --output-on-failure --no-tests=error -j2
done

# Each installer on a fresh Wine prefix: silent install, start, silent uninstall.
check_installer() {
    local arch=$1 loader=/usr/lib/wine/wine64 bits=64
    [ "$arch" = x86 ] && loader=/usr/lib/wine/wine bits=32
    export WINEPREFIX="$wine_prefixes/install-$arch" WINEARCH=win$bits WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # As for the tests: a server with no end, so no call meets one that is ending.
    mkdir -p "$WINEPREFIX"
    "/usr/lib/wine/wineserver$bits" -p
    "$loader" wineboot --init </dev/null >/dev/null 2>&1
    local dir="$WINEPREFIX/drive_c/Program Files/Selvane SP5.4"
    local link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Selvane SP5.4 ($bits-bit).lnk"
    local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Selvane SP5.4 $arch"
    # The installer itself is a 32-bit program.
    /usr/lib/wine/wine "dist/selvane-sp-$version-$arch-setup.exe" /S
    [ -f "$dir/selvane-sp.exe" ] && [ -f "$dir/selvane-sp.com" ] && [ -f "$link" ] ||
        { echo "$0: $arch: the silent install left no program or shortcut" >&2; return 1; }
    local entry
    entry=$("$loader" reg query "$key")
    grep -q "DisplayVersion *REG_SZ *$version" <<<"$entry" && grep -q "Publisher *REG_SZ *Selvane" <<<"$entry" ||
        { echo "$0: $arch: uninstall entry without version or publisher: $entry" >&2; return 1; }
    local shown
    shown=$("$loader" 'C:\Program Files\Selvane SP5.4\selvane-sp.com' --version | tr -d '\r')
    [ "$shown" = "Selvane SP5.4 $version" ] ||
        { echo "$0: $arch: the installed program answered \"$shown\" to --version" >&2; return 1; }
    "$loader" 'C:\Program Files\Selvane SP5.4\uninstall.exe' /S
    # The uninstaller goes on from a copy of itself: give it up to a minute.
    local waited=0
    while { [ -e "$dir" ] || [ -e "$link" ]; } && [ $waited -lt 60 ]; do sleep 1; waited=$((waited + 1)); done
    [ ! -e "$dir" ] && [ ! -e "$link" ] && ! "$loader" reg query "$key" >/dev/null 2>&1 ||
        { echo "$0: $arch: the silent uninstall left something behind" >&2; return 1; }
    echo "installer $arch: silent install, --version, silent uninstall: ok"
}
check_installer x64
check_installer x86

echo "Windows leg: $(($(date +%s) - started)) s of tests"
