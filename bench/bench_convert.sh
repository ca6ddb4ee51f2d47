#!/usr/bin/env bash
# The AVI converter and the WAV extractor against ffmpeg doing the same rewrap:
#   AVI: ffmpeg -i f -c copy out.avi        WAV: ffmpeg -i f -vn -c:a copy out.wav
# and the AVI rewrap against a plain copy of the file (the physical limit), replacing the output
# of the run before and writing a new one.
#   bench/bench_convert.sh FILE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# --yes: WMV1/WMV2 sources ask before converting.
compare "avi vs ffmpeg -c copy" 10 -- \
  "$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'" -- \
  "ffmpeg -nostdin -v error -y -i '$src' -c copy '$tmp/f.avi'"
compare "avi vs cp" 10 -- \
  "$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'" -- "cp '$src' '$tmp/c.wmv'" 1.2
BENCH_REMOVE="'$tmp/t.avi' '$tmp/c.wmv'" compare "avi vs cp, new output" 10 -- \
  "$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'" -- "cp '$src' '$tmp/c.wmv'" 1.2
compare "wav vs ffmpeg -vn -c:a copy" 10 -- \
  "$MENDERY_CLI wav -q --overwrite '$src' -o '$tmp/t.wav'" -- \
  "ffmpeg -nostdin -v error -y -i '$src' -vn -c:a copy '$tmp/f.wav'"
# A copy through user space (read, then write): the floor for a rewrap that reads every packet.
BENCH_REMOVE="'$tmp/t.avi' '$tmp/d.wmv'" compare "avi vs dd, new output" 10 -- \
  "$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'" -- "dd if='$src' of='$tmp/d.wmv' bs=1M status=none" 1.2
# In a terminal (script(1) gives it one) with the progress bar on, against the same run with -q
# in the same terminal, so that both pay for script and its pty: drawing the progress must cost
# next to nothing.
if command -v script >/dev/null; then
  BENCH_REMOVE="'$tmp/t.avi'" compare "avi in a terminal vs -q" 10 -- \
    "script -qec \"$MENDERY_CLI avi --yes '$src' -o '$tmp/t.avi'\" /dev/null >/dev/null" -- \
    "script -qec \"$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'\" /dev/null >/dev/null" 1.05
fi
