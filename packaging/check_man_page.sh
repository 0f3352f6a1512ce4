#!/usr/bin/env bash
# Checks a manual page against its program: every option (--name) that the
# program's --help prints appears in the page, and the page renders with groff
# without a warning.
#   check_man_page.sh PROGRAM PAGE
# Exits 0 when both hold; prints what is wrong and exits 1 otherwise.
set -euo pipefail
program=$1 page=$2
status=0

help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help)
# In roff source every dash of an option is written "\-".
for option in $(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
  if ! grep -qF -- "${option//-/\\-}" "$page"; then
    echo "$(basename "$page"): $option (in --help) is not documented" >&2
    status=1
  fi
done

if ! command -v groff >/dev/null; then
  echo "check_man_page.sh: groff is missing (package groff-base)" >&2
  exit 1
fi
warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$(basename "$page") renders with warnings:" >&2
  echo "$warnings" >&2
  status=1
fi
exit "$status"
