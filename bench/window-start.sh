#!/usr/bin/env bash
# Time from starting the window program to its window being on the screen,
# with N data sources (default 1000) in the ODBC configuration, beside the
# time the driver manager takes to list them (`selvane-sp --list`). Needs
# Xvfb and xwininfo (Debian: xvfb, x11-utils); R starts each (default 5).
#
#   bench/window-start.sh [N [R]]      after tools/build.sh
set -u
cd "$(dirname "$0")/.."
count=${1:-1000}
rounds=${2:-5}
for tool in Xvfb xwininfo; do
    command -v "$tool" >/dev/null || { echo "$0: $tool not found (apt-get install xvfb x11-utils)" >&2; exit 2; }
done

dir=$(mktemp -d /tmp/sp-window-start.XXXXXX)
display=:$((90 + RANDOM % 400))
cleanup() {
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT

# Half the data sources are the product's, the rest other drivers' (as on a busy machine).
printf '[SQL Server]\nDriver=/nonexistent/libtdsodbc.so\n' >"$dir/odbcinst.ini"
for i in $(seq 1 "$count"); do
    if [ $((i % 2)) -eq 0 ]; then
        printf '[sv%04d]\nDriver=SQL Server\nServer=127.0.0.1\nDatabase=SELVANE\n\n' "$i"
    else
        printf '[acct%04d]\nDriver=PostgreSQL\nServer=127.0.0.1\n\n' "$i"
    fi
done >"$dir/odbc.ini"
export ODBCSYSINI=$dir ODBCINSTINI=odbcinst.ini ODBCINI=$dir/odbc.ini

Xvfb "$display" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do xwininfo -display "$display" -root >/dev/null 2>&1 && break; sleep 0.05; done

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
window=() list=()
for round in $(seq 1 "$rounds"); do
    start=$(now_ms)
    build/cli/selvane-sp --list >/dev/null
    list+=($(( $(now_ms) - start )))

    start=$(now_ms)
    DISPLAY=$display QT_QPA_PLATFORM=xcb build/window_qt/selvane-sp-window >/dev/null 2>&1 &
    pid=$!
    until xwininfo -display "$display" -root -tree 2>/dev/null | grep -q '"Selvane SP5.4"'; do
        kill -0 "$pid" 2>/dev/null || { echo "$0: the window program ended early" >&2; exit 1; }
        sleep 0.005
    done
    window+=($(( $(now_ms) - start )))
    kill "$pid"
    wait "$pid" 2>/dev/null
done

summary() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {m = NR % 2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2; printf "%6d %6d %6d ms", v[1], m, v[NR]}'; }
echo "$count data sources ($((count / 2)) of the product's), $rounds starts each; min / median / max"
echo "  window on the screen:      $(summary "${window[@]}")"
echo "  listing (selvane-sp --list): $(summary "${list[@]}")"
