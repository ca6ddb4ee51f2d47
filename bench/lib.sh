# Shared by the benchmark scripts: sourced, not run.
# compare NAME RUNS -- TOOL_CMD -- REF_CMD [GOAL]
#   times both commands in one hyperfine invocation: `sync` before every timed run (not timed,
#   so neither command pays for the other's write-back), 2 warm-up runs each, at least 10 timed
#   runs each, warm page cache. Prints the median and min-max of each, the ratio of the medians
#   (tool/reference), the paired ratio (below) and, from a separate /usr/bin/time run, the
#   tool's peak memory. With a GOAL (a ratio) the line says whether the median ratio meets it.
#   Every line also goes to $BENCH_TABLE when that is set (bench/run prints them as one table
#   at the end).
# With BENCH_REMOVE set (paths), those files are removed before every run, so both commands
# write a new output instead of replacing the one of the run before: replacing a large file
# also pays for freeing the old one (and ext4 starts writing the new one back at once).
# Commands are strings run by bash; a command that fails makes the comparison fail, so a tool
# that refuses (an existing output without --overwrite) is never timed as if it worked.
# hyperfine times all runs of one command, then all of the other, so a host whose speed drifts
# between the two (a virtual machine's neighbours) puts the drift into the ratio of medians: the
# same command has measured 20-50 % apart in two rows of one run. So the two commands are also
# timed in pairs, one right after the other (which goes first alternates), and the line gives
# the median of the pairs' ratios with its quartiles ("paired"). The two disagree where the host
# drifted during the row, and also where a command replaces a large output: on a host whose
# freed memory goes back to the hypervisor, a run that follows the other command's freeing of
# hundreds of megabytes may take several times as long, and the pairs' ratios then spread
# widely (0.35 to 3.2 in one row). The goal stays judged on the ratio of the medians.

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
MENDERY_CLI="${MENDERY_CLI:-$bench_root/build-release/mendery-cli}"
CLIPWRIGHT="${CLIPWRIGHT:-$bench_root/build-release/clipwright}"

_median() { sort -n | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

_peak_kb() {
  local record
  record="$(mktemp)"
  sync
  /usr/bin/time -o "$record" -f "%M" bash -c "$1" >/dev/null 2>&1 || true
  tail -1 "$record"
  rm -f "$record"
}

compare() {
  local name="$1" runs="$2" tool="$4" ref="$6" goal="${7:-}"
  ((runs < 10)) && runs=10
  local json errors
  json="$(mktemp)"
  errors="$(mktemp)"
  local prepare="sync"
  [[ -n "${BENCH_REMOVE:-}" ]] && prepare="rm -f $BENCH_REMOVE; sync"
  if ! hyperfine --shell=bash --style none --warmup 2 --runs "$runs" --prepare "$prepare" \
      --export-json "$json" -- "$tool" "$ref" >/dev/null 2>"$errors"; then
    local line="$name: a command failed: $(grep -m1 -i error "$errors")"
    echo "$line"
    [[ -n "${BENCH_TABLE:-}" ]] && echo "$line" >>"$BENCH_TABLE"
    rm -f "$json" "$errors"
    return 0
  fi
  rm -f "$errors"
  local line
  line="$(python3 - "$json" "$name" "$(_peak_kb "$tool")" "$goal" "$runs" "$prepare" "$tool" "$ref" <<'PY'
import json, statistics, subprocess, sys, time
results = json.load(open(sys.argv[1]))["results"]
name, peak_kb, goal, runs, prepare, tool_cmd, ref_cmd = sys.argv[2], int(sys.argv[3] or 0), sys.argv[4], int(sys.argv[5]), *sys.argv[6:9]

def timed(command):
    subprocess.run(["bash", "-c", prepare], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    start = time.perf_counter()
    done = subprocess.run(["bash", "-c", command], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    return elapsed if done.returncode == 0 else None

# What starting bash costs, taken off both commands of a pair as hyperfine does.
shell = statistics.median(timed("true") for _ in range(10))
ratios = []
for round in range(runs):
    pair = {}
    for which in (("tool", "ref") if round % 2 == 0 else ("ref", "tool")):
        pair[which] = timed(tool_cmd if which == "tool" else ref_cmd)
    if None in pair.values():
        print("%s: a command failed in the paired runs" % name)
        sys.exit(0)
    ratios.append(max(pair["tool"] - shell, 1e-6) / max(pair["ref"] - shell, 1e-6))
q1, paired, q3 = statistics.quantiles(ratios, n=4) if len(ratios) > 1 else (ratios[0],) * 3

tool, ref = (statistics.median(r["times"]) for r in results)
spans = ["%.3f (%.3f-%.3f)" % (statistics.median(r["times"]), min(r["times"]), max(r["times"])) for r in results]
ratio = tool / ref if ref > 0 else 0
verdict = ""
if goal:
    verdict = "  goal <= %s: %s" % (goal, "met" if ratio <= float(goal) else "NOT met")
print("%-34s tool %-22s reference %-22s ratio %5.2f  paired %5.2f (%.2f-%.2f)  peak %6.1f MB%s"
      % (name, spans[0], spans[1], ratio, paired, q1, q3, peak_kb / 1024, verdict))
PY
)"
  rm -f "$json"
  echo "$line"
  [[ -n "${BENCH_TABLE:-}" ]] && echo "$line" >>"$BENCH_TABLE"
  return 0
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

# Makes (once) the large sample again with 4096-byte packets and a title of such a length that
# its data start a few bytes before a page boundary: every block a whole-file job reads then
# starts at the same offset within a page, so where a tool puts its blocks in memory decides
# for the whole file how fast the kernel copies them (buffers 16 bytes into a page once made
# such a file take twice as long as the same file with a shorter title).
page_offset_sample() {
  local src="$1" path="${1%.wmv}_4k_packets.wmv"
  if [ ! -s "$path" ]; then
    python3 - "$src" "$path" <<'PY' || { rm -f "$path"; return 1; }
import struct, subprocess, sys
src, path = sys.argv[1:]
def data_start(title_length):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", src, "-map", "0", "-c", "copy",
                    "-packet_size", "4096", "-metadata", "title=" + "x" * title_length, path], check=True)
    with open(path, "rb") as f:
        return struct.unpack("<Q", f.read(24)[16:24])[0] + 50
first = data_start(1)
per_char = data_start(2) - first
# 4 to 15 bytes before a page boundary, counted from a data start of 16 mod 4096.
for length in range(1, 4096):
    if (first + per_char * (length - 1)) % 4096 in range(4081, 4093):
        sys.exit(0 if (data_start(length) % 4096) in range(4081, 4093) else 1)
sys.exit(1)
PY
  fi
  echo "$path"
}
