# Shared by the benchmark scripts: sourced, not run.
# compare NAME RUNS -- TOOL_CMD -- REF_CMD
#   runs both commands alternately RUNS times each (after a warm-up run of each), prints the
#   median seconds of each, the ratio tool/reference, and the tool's peak memory.
# Commands are strings run by bash; each run starts from a warm page cache.

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MENDERY_CLI="${MENDERY_CLI:-$bench_root/build-release/mendery-cli}"
CLIPWRIGHT="${CLIPWRIGHT:-$bench_root/build-release/clipwright}"

_measure() {  # prints "seconds peak_kb"
  local record
  record="$(mktemp)"
  /usr/bin/time -o "$record" -f "%e %M" bash -c "$1" >/dev/null 2>&1 || true
  tail -1 "$record"
  rm -f "$record"
}

_median() { sort -n | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

compare() {
  local name="$1" runs="$2" tool="$4" ref="$6"
  local tool_times=() ref_times=() peak=0 r
  _measure "$tool" >/dev/null; _measure "$ref" >/dev/null
  for ((i = 0; i < runs; i++)); do
    r=$(_measure "$tool"); tool_times+=("${r% *}"); ((${r#* } > peak)) && peak=${r#* }
    r=$(_measure "$ref"); ref_times+=("${r% *}")
  done
  local tm rm
  tm=$(printf '%s\n' "${tool_times[@]}" | _median)
  rm=$(printf '%s\n' "${ref_times[@]}" | _median)
  awk -v n="$name" -v t="$tm" -v r="$rm" -v p="$peak" \
    'BEGIN {printf "%-34s tool %7.3f s   reference %7.3f s   ratio %5.2f   peak %6.1f MB\n", n, t, r, (r > 0 ? t / r : 0), p / 1024}'
}

# Makes (once) a 300 s, ~300 MB WMV2 + WMA v2 file: 20 s encoded, then looped without re-encoding.
large_sample() {
  local path="${1:-$bench_root/bench/data/big_wmv2_8M_300s.wmv}"
  if [ ! -s "$path" ]; then
    mkdir -p "$(dirname "$path")"
    local piece="${path%.wmv}.piece.wmv"
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 \
      -f lavfi -i sine=frequency=440:sample_rate=44100:duration=20 -ac 2 \
      -c:v wmv2 -b:v 8M -maxrate 8M -bufsize 8M -c:a wmav2 -b:a 128k "$piece"
    ffmpeg -nostdin -v error -y -stream_loop 14 -i "$piece" -c copy "$path"
    rm -f "$piece"
  fi
  echo "$path"
}
