#!/usr/bin/env bash
# The whole-file jobs on the large sample remade with 4096-byte packets and its data starting
# just before a page boundary, against a plain copy: the same goals as on the sample itself.
#   bench/bench_page_offsets.sh FILE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$(page_offset_sample "$1")" || { echo "no sample with 4096-byte packets could be made"; exit 0; }
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
echo "sample: $src (data at byte $(python3 -c "import struct,sys; print(struct.unpack('<Q', open(sys.argv[1],'rb').read(24)[16:])[0] + 50)" "$src"))"
BENCH_REMOVE="'$tmp/r.wmv' '$tmp/c.wmv'" compare "repair, data near a page end" 10 -- \
  "$MENDERY_CLI repair -q --overwrite --preset partial '$src' -o '$tmp/r.wmv'" -- "cp '$src' '$tmp/c.wmv'" 1.1
BENCH_REMOVE="'$tmp/b.wmv' '$tmp/c.wmv'" compare "clipwright basic, data near a page end" 10 -- \
  "$CLIPWRIGHT -i '$src' -o '$tmp/b.wmv' -y" -- "cp '$src' '$tmp/c.wmv'" 1.1
BENCH_REMOVE="'$tmp/t.avi' '$tmp/c.wmv'" compare "avi, data near a page end" 10 -- \
  "$MENDERY_CLI avi -q --yes '$src' -o '$tmp/t.avi'" -- "cp '$src' '$tmp/c.wmv'" 1.2
