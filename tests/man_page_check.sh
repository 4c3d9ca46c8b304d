#!/usr/bin/env bash
# The man page names every option that --help names, and no other.
#   tests/man_page_check.sh PROGRAM MAN_PAGE
set -euo pipefail
from_help=$("$1" --help | grep -oE '(^|[[:space:]])--[a-z][a-z-]*' | tr -d ' ' | sort -u)
from_man=$(sed 's/\\-/-/g' "$2" | grep -oE '(^|[^a-z-])--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u)
if [ "$from_help" != "$from_man" ]; then
    echo "options in --help and in the man page differ:"
    diff <(echo "$from_help") <(echo "$from_man") || true
    exit 1
fi
echo "$(echo "$from_help" | wc -l) options in both"
