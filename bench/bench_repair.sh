#!/usr/bin/env bash
# The advanced repair pass (no detail lines) against a plain copy and an ffmpeg remux.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
compare "repair --preset partial vs cp" 5 -- \
  "$MENDERY_CLI repair -q --preset partial '$src' -o '$tmp/r.wmv'" -- "cp '$src' '$tmp/c.wmv'"
compare "repair --preset partial vs ffmpeg" 3 -- \
  "$MENDERY_CLI repair -q --preset partial '$src' -o '$tmp/r.wmv'" -- \
  "ffmpeg -nostdin -v error -y -i '$src' -map 0 -c copy -f asf '$tmp/f.wmv'"
