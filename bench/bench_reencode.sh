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

tool="$MENDERY_CLI reencode -q --overwrite '$piece' -o '$tmp/m.wmv'"
ref="ffmpeg -nostdin -v error -y -i '$piece' -c:v msmpeg4 -vtag MP43 -b:v $vb -maxrate $vb -bufsize $((vb * 5)) -r $fps -s ${w}x${h} -g $((fps * 10)) -sws_flags bicubic -c:a wmav2 -b:a $ab -ar $ar -ac $ac -f asf '$tmp/f.wmv'"
compare "reencode 30 s vs ffmpeg" 10 -- "$tool" -- "$ref"

# Processor time (user + system) as well: on a busy machine it varies far less than wall time.
cpu() {
  local record="$tmp/cpu"
  /usr/bin/time -o "$record" -f "%U %S" bash -c "$1" >/dev/null 2>&1 || true
  awk '{print $1 + $2}' "$record"
}
tool_cpu=(); ref_cpu=()
for i in 1 2 3; do tool_cpu+=("$(cpu "$tool")"); ref_cpu+=("$(cpu "$ref")"); done
tc=$(printf '%s\n' "${tool_cpu[@]}" | _median); rc=$(printf '%s\n' "${ref_cpu[@]}" | _median)
awk -v t="$tc" -v r="$rc" 'BEGIN {printf "%-34s tool %7.3f s   reference %7.3f s   ratio %5.2f\n", "reencode 30 s vs ffmpeg (cpu)", t, r, (r > 0 ? t / r : 0)}'
echo "output sizes: tool $(stat -c %s "$tmp/m.wmv") bytes, ffmpeg $(stat -c %s "$tmp/f.wmv") bytes"
