#!/usr/bin/env bash
# Lost-chunk recovery, the header rebuild and the shrinker against a plain copy.
#   bench/bench_recovery.sh FILE
# Recovery runs on a copy of FILE whose middle 50 MB are overwritten with garbage, so that most
# of the time goes into the byte-by-byte search. The shrinker needs chunks with padding to cut:
# when FILE has none (every chunk full, as ffmpeg writes video), it runs on a long WMA file
# made once beside the large sample instead. Medians of at least 10 runs each, peak memory of the tool.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

size=$(stat -c %s "$src")
garbage_mb=50
damaged="$tmp/damaged.wmv"
cp "$src" "$damaged"
if ((size > (garbage_mb + 2) * 1048576)); then
  dd if=/dev/urandom of="$damaged" bs=1M seek=$(((size / 1048576 - garbage_mb) / 2)) count=$garbage_mb \
    conv=notrunc status=none
else
  echo "(file smaller than $garbage_mb MB: garbage over its middle third instead)"
  dd if=/dev/urandom of="$damaged" bs=1 seek=$((size / 3)) count=$((size / 3)) conv=notrunc status=none
fi
compare "recover (50 MB garbage) vs cp" 10 -- \
  "$MENDERY_CLI recover -q --overwrite '$damaged' -o '$tmp/r.wmv'" -- "cp '$damaged' '$tmp/c.wmv'"
$MENDERY_CLI recover --overwrite "$damaged" -o "$tmp/r.wmv" | grep -E '找到|已找到|找不到' | sort | uniq -c || true
rm -f "$damaged" "$tmp/r.wmv" "$tmp/c.wmv"

# The header rebuild on a copy whose header object is zeroed, with FILE as the reference: it
# reads the file twice (the survey of its packets, then the copy) and writes it once.
headless="$tmp/headless.wmv"
cp "$src" "$headless"
dd if=/dev/zero of="$headless" bs=1 count=700 conv=notrunc status=none
BENCH_REMOVE="'$tmp/h.wmv' '$tmp/c.wmv'" compare "rebuild-header vs cp, new output" 10 -- \
  "$MENDERY_CLI rebuild-header -q --overwrite '$headless' --reference '$src' -o '$tmp/h.wmv'" -- "cp '$headless' '$tmp/c.wmv'"
rm -f "$headless" "$tmp/h.wmv" "$tmp/c.wmv"

padded="$src"
if ! $MENDERY_CLI shrink -q --no-extra "$src" -o "$tmp/probe.wmv"; then
  padded="$(dirname "$src")/big_wmav2_320k_padded.wma"
  if [ ! -s "$padded" ]; then
    echo "(making $padded: WMA v2 audio, 2 h at 320 kb/s; its chunks carry padding)"
    ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=7200 -ac 2 \
      -c:a wmav2 -b:a 320k "$padded"
  fi
fi
rm -f "$tmp/probe.wmv"
echo "shrinker input: $padded ($(stat -c %s "$padded") bytes)"
compare "shrink --no-extra vs cp" 10 -- \
  "$MENDERY_CLI shrink -q --overwrite --no-extra '$padded' -o '$tmp/s.wma'" -- "cp '$padded' '$tmp/c.wma'"
