#!/usr/bin/env bash
# Re-encode of the first 30 s of FILE with the proposed settings, against ffmpeg making the
# same codecs (MPEG-4 v3 + WMA v2) at the same sizes, rates and bitrates into ASF.
#   bench/bench_reencode.sh FILE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
src="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
piece="$tmp/piece.wmv"
ffmpeg -nostdin -v error -y -i "$src" -t 30 -map 0:v:0? -map 0:a:0? -c copy "$piece"

# The settings the re-encoder proposes for this source, to give ffmpeg the same ones.
json="$("$MENDERY_CLI" reencode -q --json "$piece" -o "$tmp/probe.wmv")"
field() { python3 -c "import json,sys; print(json.loads(sys.argv[1])['$1'])" "$json"; }
vb=$(field videoBitrate); fps=$(field frameRate); w=$(field videoWidth); h=$(field videoHeight)
ab=$(field audioBitrate); ar=$(field audioSamplesPerSec); ac=$(field audioChannels)
((ab < 24000)) && ab=24000   # the WMA v2 encoder's floor, as the engine applies it
echo "settings: video ${w}x${h} ${fps} fps ${vb} bit/s, audio ${ab} bit/s ${ar} Hz ${ac} ch"

compare "reencode 30 s vs ffmpeg" 3 -- \
  "$MENDERY_CLI reencode -q '$piece' -o '$tmp/m.wmv'" -- \
  "ffmpeg -nostdin -v error -y -i '$piece' -c:v msmpeg4 -vtag MP43 -b:v $vb -maxrate $vb -bufsize $((vb * 5)) -r $fps -s ${w}x${h} -g $((fps * 10)) -sws_flags bicubic -c:a wmav2 -b:a $ab -ar $ar -ac $ac -f asf '$tmp/f.wmv'"
