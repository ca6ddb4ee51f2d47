#!/usr/bin/env bash
# clipwright against its references on one large file:
#   cut of 30 s (from 60 s)      vs  ffmpeg -ss 60 -t 30 -i FILE -c copy
#   join of the file with itself vs  ffmpeg's concat demuxer with -c copy
#   join of the file with itself vs  cat FILE FILE (the physical limit)
#   basic repair                 vs  cp
# the last two also writing a new output each run instead of replacing the one before, and
# basic repair and join as mendery-cli runs them (with the codec list copied afterwards).
#   bench/bench_clipwright.sh FILE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
f="$(realpath "$1")"
runs="${RUNS:-10}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
printf "file '%s'\nfile '%s'\n" "$f" "$f" >"$tmp/list.txt"
compare "clipwright cut 30 s" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -o '$tmp/cut.wmv' -start 60 -dur 30 -y" -- \
  "ffmpeg -nostdin -v error -y -ss 60 -t 30 -i '$f' -c copy '$tmp/ref_cut.wmv'"
compare "clipwright join with itself" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -i '$f' -o '$tmp/join.wmv' -y" -- \
  "ffmpeg -nostdin -v error -y -f concat -safe 0 -i '$tmp/list.txt' -c copy '$tmp/ref_join.wmv'"
compare "clipwright join with itself vs cat" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -i '$f' -o '$tmp/join.wmv' -y" -- \
  "cat '$f' '$f' > '$tmp/cat.wmv'" 1.0
compare "clipwright basic repair" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -o '$tmp/repair.wmv' -y" -- \
  "cp '$f' '$tmp/copy.wmv'" 1.1
# Replacing the output the safe way (a new file renamed over the old one when the run
# succeeded), against the same replacement done by cat or cp and mv: ext4 starts writing the
# new file back at the rename, which truncating the old file in place does not wait for.
compare "clipwright join vs cat + mv, replacing" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -i '$f' -o '$tmp/join.wmv' -y" -- \
  "cat '$f' '$f' > '$tmp/cat.part' && mv '$tmp/cat.part' '$tmp/cat.wmv'" 1.0
compare "clipwright basic repair vs cp + mv, replacing" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -o '$tmp/repair.wmv' -y" -- \
  "cp '$f' '$tmp/copy.part' && mv '$tmp/copy.part' '$tmp/copy.wmv'" 1.1
BENCH_REMOVE="'$tmp/join.wmv' '$tmp/cat.wmv'" compare "clipwright join vs cat, new output" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -i '$f' -o '$tmp/join.wmv' -y" -- \
  "cat '$f' '$f' > '$tmp/cat.wmv'" 1.0
BENCH_REMOVE="'$tmp/repair.wmv' '$tmp/copy.wmv'" compare "clipwright basic repair, new output" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -o '$tmp/repair.wmv' -y" -- \
  "cp '$f' '$tmp/copy.wmv'" 1.1
# A copy through user space (read, then write): the floor for a job that reads every packet.
BENCH_REMOVE="'$tmp/repair.wmv' '$tmp/dd.wmv'" compare "clipwright basic repair vs dd, new output" "$runs" -- \
  "'$CLIPWRIGHT' -i '$f' -o '$tmp/repair.wmv' -y" -- \
  "dd if='$f' of='$tmp/dd.wmv' bs=1M status=none" 1.1
# What the user runs (mendery-cli and the desktop program alike): clipwright, then the source's
# codec list copied into its output, which rewrites the whole file once more (the list makes the
# header longer). The floor is two copies of the file.
BENCH_REMOVE="'$tmp/basic.wmv' '$tmp/copy.wmv'" compare "basic repair with the codec list, new output" "$runs" -- \
  "$MENDERY_CLI basic -q --overwrite '$f' -o '$tmp/basic.wmv'" -- \
  "cp '$f' '$tmp/copy.wmv'"
BENCH_REMOVE="'$tmp/joined.wmv' '$tmp/cat.wmv'" compare "join with the codec list vs cat, new output" "$runs" -- \
  "$MENDERY_CLI join -q --overwrite '$f' '$f' -o '$tmp/joined.wmv'" -- \
  "cat '$f' '$f' > '$tmp/cat.wmv'"
