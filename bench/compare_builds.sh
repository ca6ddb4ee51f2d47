#!/usr/bin/env bash
# Times two builds of the whole-file jobs against each other and against their reference, each
# job both writing a new output (removed before every run) and replacing an existing one, and
# checks that both builds write the same bytes (SHA-256 of every output).
#   bench/compare_builds.sh OLD_BUILD_DIR NEW_BUILD_DIR [FILE]
# One hyperfine invocation per job and kind of output times old, new and the reference in turn
# (sync before every run, 2 warm-up runs, RUNS timed runs, default 10), so load on the shared
# machine hits all three alike. A running fuzz campaign (tests/fuzz_*) is paused while timing
# and resumed afterwards, also when the script fails or is stopped.
set -euo pipefail
old="$(realpath "$1")"
new="$(realpath "$2")"
source "$(dirname "$0")/lib.sh"
f="$(realpath "$(large_sample "${3:-}")")"
runs="${RUNS:-10}"
tmp="$(mktemp -d)"
resume() { pkill -CONT -f 'tests/fuzz_' || true; rm -rf "$tmp"; }
trap resume EXIT
trap 'exit 130' INT TERM
pkill -STOP -f 'tests/fuzz_' || true

# job NAME OUTPUT_EXT REF_CMD CMD_WITH_@BIN@_AND_@OUT@
job() {
  local name="$1" ext="$2" ref="$3" cmd="$4"
  local cmdOld="${cmd//@BIN@/$old}" cmdNew="${cmd//@BIN@/$new}"
  cmdOld="${cmdOld//@OUT@/$tmp/old.$ext}"
  cmdNew="${cmdNew//@OUT@/$tmp/new.$ext}"
  ref="${ref//@OUT@/$tmp/ref.$ext}"
  # The same bytes from both builds.
  rm -f "$tmp"/old.* "$tmp"/new.*
  bash -c "$cmdOld" >/dev/null 2>&1 && bash -c "$cmdNew" >/dev/null 2>&1 || { echo "$name: a build failed"; return 0; }
  local a b
  a="$(sha256sum <"$tmp/old.$ext" | cut -c1-64)"
  b="$(sha256sum <"$tmp/new.$ext" | cut -c1-64)"
  echo "$name: output sha256 old $a new $b $([[ $a == "$b" ]] && echo same || echo DIFFERENT)"
  local kind prepare json
  for kind in new replaced; do
    prepare="sync"
    [[ $kind == new ]] && prepare="rm -f $tmp/old.$ext $tmp/new.$ext $tmp/ref.$ext $tmp/old.$ext.idx $tmp/new.$ext.idx; sync"
    json="$tmp/t.json"
    hyperfine --shell=bash --style none --warmup 2 --runs "$runs" --prepare "$prepare" \
      --export-json "$json" -- "$cmdOld" "$cmdNew" "$ref" >/dev/null 2>&1 || { echo "$name ($kind): a command failed"; continue; }
    python3 - "$json" "$name ($kind output)" <<'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"]
med = [statistics.median(x["times"]) for x in r]
span = ["%.3f (%.3f-%.3f)" % (m, min(x["times"]), max(x["times"])) for m, x in zip(med, r)]
print("%-40s old %-22s x%.2f  new %-22s x%.2f  ref %s" % (sys.argv[2], span[0], med[0] / med[2], span[1], med[1] / med[2], span[2]))
PY
  done
}

cli="@BIN@/mendery-cli"
job "repair --preset partial vs cp" wmv "cp '$f' '@OUT@'" "$cli repair -q --overwrite --preset partial '$f' -o '@OUT@'"
job "clipwright basic repair vs cp" wmv "cp '$f' '@OUT@'" "'@BIN@/clipwright' -i '$f' -o '@OUT@' -y"
job "avi vs cp" avi "cp '$f' '@OUT@'" "$cli avi -q --yes --overwrite '$f' -o '@OUT@'"
job "clipwright join with itself vs cat" wmv "cat '$f' '$f' > '@OUT@'" "'@BIN@/clipwright' -i '$f' -i '$f' -o '@OUT@' -y"
