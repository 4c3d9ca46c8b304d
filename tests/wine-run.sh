#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: CTest's emulator for the
# Windows builds (see cmake/mingw-w64-common.cmake).
#
#   tests/wine-run.sh PROGRAM.exe [ARGS...]
#   tests/wine-run.sh --serve 64|32     start the prefix's Wine server for good
#
# The Wine loader is chosen by the program's PE header: 64-bit programs run
# with wine64, 32-bit ones with the 32-bit loader. A 32-bit program started by
# wine64 alone prints nothing and exits 0, so a missing loader is an error
# here, never a pass. Each bitness has its own Wine prefix, made on first use.
#
# Wine's odbc32 hands every ODBC call to the host's unixODBC, which reads
# ODBCSYSINI and ODBCINI only as they are when Wine starts. So each run gets
# a fresh directory for the ini files, named to the program in SP_ODBC_DIR
# (the test sandbox writes its data sources there), removed afterwards.
#
# A Wine server ends a few seconds after its last program, and a program that
# starts in that moment dies with "recvmsg: Connection reset by peer" before
# it runs. --serve (tools/build-windows.sh, before anything runs under Wine)
# starts the server with no end and Wine's own services detached from every
# test's output, so nothing races it and no test waits on a pipe a service
# keeps open; `wineserver -k` ends it.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
serve=
if [ "$1" = --serve ]; then
    serve=yes
    case "${2:-}" in 64) machine=8664 ;; 32) machine=014c ;; *) echo "usage: $0 --serve 64|32" >&2; exit 2 ;; esac
else
    program=$1
    shift
    # The PE header's machine field: at the offset stored at 0x3c, plus 4.
    pe_offset=$(od -An -tu4 -j60 -N4 "$program" 2>/dev/null | tr -d ' ')
    machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$program" 2>/dev/null | tr -d ' ')
fi
case "$machine" in
    8664) loader=/usr/lib/wine/wine64 bits=64 ;;
    014c) loader=/usr/lib/wine/wine bits=32 ;;
    *)
        echo "$0: ${program:-} is not a 32- or 64-bit Windows program" >&2
        exit 2
        ;;
esac
if [ ! -x "$loader" ]; then
    echo "$0: $loader is missing: $bits-bit Windows programs cannot run (install wine$bits$([ $bits = 32 ] && echo ':i386'))" >&2
    exit 2
fi

export WINEPREFIX=${SP_WINEPREFIX_BASE:-${XDG_CACHE_HOME:-$HOME/.cache}/selvane-sp-wine}/win$bits
export WINEARCH=win$bits
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Made once, under a lock (CTest runs programs side by side); the mark says it is complete.
ready=$WINEPREFIX/.selvane-sp-ready
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$ready" ] && "$loader" wineboot --init >/dev/null 2>&1; then
            # A program that crashes ends with an error status instead of waiting in the debugger.
            "$loader" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
                >/dev/null 2>&1
            # Windows draw their own frames and captions, as on Windows: a
            # virtual X display has no window manager to draw them.
            "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            touch "$ready"
        fi
    ) 9>"$WINEPREFIX.lock"
    if [ ! -f "$ready" ]; then
        echo "$0: could not make the Wine prefix $WINEPREFIX" >&2
        exit 2
    fi
fi

if [ -n "$serve" ]; then
    /usr/lib/wine/wineserver$bits -k 2>/dev/null  # a server left by an earlier run
    /usr/lib/wine/wineserver$bits -p || exit 2
    "$loader" wineboot </dev/null >/dev/null 2>&1 || exit 2
    exit 0
fi

odbc_dir=$(mktemp -d /tmp/sp-wine-odbc.XXXXXX) || exit 2
trap 'rm -rf "$odbc_dir"' EXIT
: >"$odbc_dir/odbcinst.ini"
: >"$odbc_dir/odbc.ini"
: >"$odbc_dir/odbc.user.ini"
export ODBCSYSINI=$odbc_dir ODBCINSTINI=odbcinst.ini ODBCINI=$odbc_dir/odbc.user.ini SP_ODBC_DIR=$odbc_dir

"$loader" "$program" "$@"
