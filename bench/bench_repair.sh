#!/usr/bin/env bash
# The advanced repair pass (no detail lines) against a plain copy (replacing the output of the
# run before, and writing a new one) and an ffmpeg remux.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
compare "repair --preset partial vs cp" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- "cp '$src' '$tmp/c.wmv'" 1.1
BENCH_REMOVE="'$tmp/r.wmv' '$tmp/c.wmv'" compare "repair --preset partial vs cp, new output" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- "cp '$src' '$tmp/c.wmv'" 1.1
# Replacing an existing output the safe way (a new file beside it, renamed over the old one
# when the run succeeded) is not what cp does (truncate the old file and write into it), and
# ext4 starts writing the new file back at the rename. The same safe replacement done by cp
# and mv is the floor for that.
compare "repair --preset partial vs cp + mv, replacing" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- \
  "cp '$src' '$tmp/c.part' && mv '$tmp/c.part' '$tmp/c.wmv'" 1.1
compare "repair --preset partial vs ffmpeg" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- \
  "ffmpeg -nostdin -v error -y -i '$src' -map 0 -c copy -f asf '$tmp/f.wmv'"
# A copy through user space (read, then write, as every tool that looks at its bytes must):
# the floor for a pass that reads every chunk, where cp copies inside the kernel.
BENCH_REMOVE="'$tmp/r.wmv' '$tmp/d.wmv'" compare "repair --preset partial vs dd, new output" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- "dd if='$src' of='$tmp/d.wmv' bs=1M status=none" 1.1
