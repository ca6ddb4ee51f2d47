#!/usr/bin/env python3
"""How much each damaged copy yields: rescue, the best single tool, and ffmpeg's own copy.

    bench/salvage_matrix.py [--bin BUILD_DIR] [--samples DIR] [--limit N] [--seed S] [--jobs J] [--verbose]

Uses the damaged copies of bench/damage_matrix.py (same seed, same files). For each copy it
runs `mendery-cli rescue`, the single tools a user would try by hand (repair with every
preset, recover, basic, basic --resync) and
`ffmpeg -err_detect ignore_err -i damaged -map 0 -c copy out.asf`, and counts in every output
its clean frames (an output that does not open counts 0):

  - every frame FFmpeg decodes counts once: ffprobe lists the packets and the frames in
    decoding order (one decoding thread, so each frame follows its packet), and a frame whose
    packet repeats an earlier packet of the same stream byte for byte (MD5) while its time does
    not move past that stream's latest frame by more than 2 ms is the same frame again (a
    duplicated packet; ffmpeg's -c copy moves its time 1 ms on). Identical packets later in
    time (silence, a still picture) count; a frame without a time counts;
  - a frame is damaged when its own decoder logged an error while making it (ffprobe
    -show_log 16: the log lines come with the next frame shown). Lines of the demuxer ("invalid
    padsize", "skip ... (unknown stream)": GStreamer's last packet, whose length leaves out its
    padding, gives those on the intact sample) and of another stream's decoder (a packet that
    gave no frame) mark no frame: a payload the demuxer drops is a missing frame already, and
    a frame counts damaged once however many lines its decoder wrote;
  - clean frames are the frames counted once less the damaged ones;
  - intact objects are the media objects whose bytes are exactly those of one in the undamaged
    sample the copy was made from (each of the sample's counted once): a frame kept with zeros
    or garbage in it may decode without an error, but it is not salvage.
The comparisons use intact objects (clean frames for the files made from no sample).

When rescue ends by saying that the source is already the best file it can
give ("没有发现需要修复的问题", no step better than the source), the user keeps the source: its
frames are rescue's yield. Prints, per kind of damage, in how many cases ffmpeg yields more than
rescue, rescue more than ffmpeg, and rescue against the best single tool, then the totals.
A tie within one frame counts as equal (a frame decoded from damaged bytes may or may not
be reported). Not run by CI.
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from damage_matrix import ROOT, make_matrix  # noqa: E402

SINGLE_TOOLS = [
    ("repair bad-chunks", ["repair", "--preset", "bad-chunks"]),
    ("repair partial", ["repair", "--preset", "partial"]),
    ("repair remove-frames", ["repair", "--preset", "remove-frames"]),
    ("repair seekable", ["repair", "--preset", "seekable"]),
    ("repair vd", ["repair", "--preset", "vd"]),
    ("recover", ["recover"]),
    ("basic", ["basic"]),
    ("basic --resync", ["basic", "--resync"]),
]


# A frame whose packet repeats an earlier packet of its stream byte for byte and whose time does
# not move past the stream's latest frame by more than this (ms) is that packet decoded again.
# ffmpeg's -c copy moves a repeated packet's time 1 ms past the one before instead of keeping it.
REPEAT_SLACK_MS = 2


def frame_counts(path):
    """(frames, repeated, damaged, clean) FFmpeg decodes from path; all 0 when it does not open."""
    if not os.path.exists(path) or os.path.getsize(path) == 0:
        return 0, 0, 0, 0
    try:
        r = subprocess.run(["ffprobe", "-threads", "1", "-v", "quiet", "-show_log", "16", "-show_data_hash", "md5",
                            "-show_entries",
                            "stream=index,codec_name:packet=stream_index,data_hash:frame=stream_index,pts:log=context",
                            "-of", "json", path], capture_output=True, text=True, timeout=300)
        probe = json.loads(r.stdout or "{}")
    except (subprocess.TimeoutExpired, ValueError):
        return 0, 0, 0, 0
    codecs = {s.get("index"): s.get("codec_name", "") for s in probe.get("streams", [])}
    packet_of, hashes, latest = {}, {}, {}
    frames = repeated = damaged = 0
    # Packets and frames come in decoding order; with one thread a frame follows its packet.
    for entry in probe.get("packets_and_frames", []):
        stream = entry.get("stream_index")
        if entry.get("type") == "packet":
            packet_of[stream] = entry.get("data_hash")
            continue
        frames += 1
        digest, pts = packet_of.pop(stream, None), entry.get("pts")
        seen = hashes.setdefault(stream, set())
        again = digest in seen and pts is not None and stream in latest and pts <= latest[stream] + REPEAT_SLACK_MS
        if digest:
            seen.add(digest)
        if pts is not None:
            latest[stream] = max(latest.get(stream, pts), pts)
        if again:
            repeated += 1
            continue
        # A decoder logs under its own name, which begins the stream's codec name (msmpeg4
        # decodes msmpeg4v3); its error lines belong to the frame they come with.
        codec = codecs.get(stream, "")
        if any(log.get("context") and codec.startswith(log["context"]) for log in entry.get("logs", [])):
            damaged += 1
    return frames, repeated, damaged, frames - repeated - damaged


def clean_frames(path):
    """Frames decoded once and without an error of their decoder; 0 when the file does not open."""
    return frame_counts(path)[3]


def packet_hashes(path):
    """MD5 of every media object ffprobe reads from path (a multiset: digest -> count)."""
    try:
        r = subprocess.run(["ffprobe", "-v", "quiet", "-show_data_hash", "md5", "-show_entries", "packet=data_hash",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=300)
    except subprocess.TimeoutExpired:
        return {}
    counts = {}
    for line in r.stdout.split():
        counts[line] = counts.get(line, 0) + 1
    return counts


def intact(path, original):
    """Media objects of path whose bytes are exactly those of one in the undamaged original
    (a digest -> count map; each original object counted once): what a tool kept of the file
    without damage. None without an original; 0 when there is no file."""
    if original is None:
        return None
    if not os.path.exists(path):
        return 0
    have = packet_hashes(path)
    return sum(min(n, original.get(digest, 0)) for digest, n in have.items())


def salvage(path, original):
    """What an output yields: its intact objects where the original is known, else its clean frames."""
    n = intact(path, original)
    return clean_frames(path) if n is None else n


def run(cmd, cwd, timeout=120):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        return (r.stdout + r.stderr).decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return ""


# rescue's last lines when the source as it is beats every result
SOURCE_IS_BEST = ("没有发现需要修复的问题", "比源文件更好的结果", "结果不如源文件本身")


def sample_objects(samples):
    """The media objects of every sample (stem -> digest counts), in make_matrix's order."""
    names = sorted(n for n in os.listdir(samples) if n.endswith((".wmv", ".asf", ".wma")))
    return [(n.split(".")[0], packet_hashes(os.path.join(samples, n))) for n in names]


def original_of(label, originals):
    """The undamaged objects a copy was made from: its sample's (labels begin with the sample's
    name), and for a file glued from two, those of the sample glued after it as well."""
    stems = [stem for stem, _ in originals]
    stem, _, kind = label.partition(":")
    if stem not in stems:
        return None
    i = stems.index(stem)
    objects = dict(originals[i][1])
    if kind.startswith("glued"):
        for digest, n in originals[(i + 1) % len(originals)][1].items():
            objects[digest] = objects.get(digest, 0) + n
    return objects


def one_file(bin_dir, damaged, original):
    cli = os.path.join(bin_dir, "mendery-cli")
    with tempfile.TemporaryDirectory(prefix="mendery-salvage-") as work:
        src = os.path.join(work, "in.wmv")
        shutil.copyfile(damaged, src)
        result = {}
        said = run([cli, "rescue", "in.wmv", "-o", "rescue.wmv"], work)
        result["source"] = salvage(src, original)
        result["rescue"] = salvage(os.path.join(work, "rescue.wmv"), original)
        if any(line in said for line in SOURCE_IS_BEST):
            result["rescue"] = result["source"]
        best, best_name = 0, "-"
        for i, (name, args) in enumerate(SINGLE_TOOLS):
            out = f"tool{i}.wmv"
            run([cli] + args + ["in.wmv", "-o", out], work)
            n = salvage(os.path.join(work, out), original)
            if n > best:
                best, best_name = n, name
        result["best"], result["best_name"] = best, best_name
        run(["ffmpeg", "-v", "quiet", "-y", "-err_detect", "ignore_err", "-i", "in.wmv", "-map", "0", "-c", "copy",
             "ffmpeg.asf"], work)
        result["ffmpeg"] = salvage(os.path.join(work, "ffmpeg.asf"), original)
        return result


def compare(a, b):
    return 0 if abs(a - b) <= 1 else (1 if a > b else -1)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build"))
    ap.add_argument("--samples", default=os.path.join(ROOT, "tests", "data"))
    ap.add_argument("--limit", type=int, default=120, help="N damaged files chosen by --seed (0: all)")
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--verbose", action="store_true", help="print every case where rescue is behind")
    a = ap.parse_args()
    a.bin = os.path.abspath(a.bin)
    for tool in ("ffmpeg", "ffprobe"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is needed")

    rng = random.Random(a.seed)
    with tempfile.TemporaryDirectory(prefix="mendery-damaged-") as folder:
        files = make_matrix(a.samples, folder, rng)
        if a.limit and a.limit < len(files):
            files = sorted(rng.sample(files, a.limit))
        rows = []
        originals = sample_objects(a.samples)
        with concurrent.futures.ThreadPoolExecutor(max_workers=a.jobs) as pool:
            futures = {pool.submit(one_file, a.bin, path, original_of(label, originals)): label for label, path in files}
            for fut in concurrent.futures.as_completed(futures):
                label = futures[fut]
                r = fut.result()
                rows.append((label, r))
                if a.verbose and (compare(r["ffmpeg"], r["rescue"]) > 0 or compare(r["best"], r["rescue"]) > 0):
                    print(f"behind: {label:40s} rescue {r['rescue']:5d}  best {r['best']:5d} ({r['best_name']})  "
                          f"ffmpeg {r['ffmpeg']:5d}  source {r['source']:5d}", flush=True)

    kinds = {}
    for label, r in rows:
        kind = label.split(":", 1)[1] if ":" in label else label
        kind = re.sub(r"^trunc-object\d+", "trunc-object", kind)
        k = kinds.setdefault(kind, [0, 0, 0, 0, 0, 0])
        k[0] += 1
        k[1] += compare(r["ffmpeg"], r["rescue"]) > 0
        k[2] += compare(r["rescue"], r["ffmpeg"]) > 0
        k[3] += compare(r["best"], r["rescue"]) > 0
        k[4] += compare(r["rescue"], r["best"]) > 0
        k[5] += r["rescue"] == 0 and r["ffmpeg"] == 0 and r["best"] == 0

    print(f"{len(rows)} damaged files, seed {a.seed}, binaries {a.bin}; intact media objects compared "
          "(clean decoded frames where no sample is known; ±1 = equal)")
    head = ["damage", "files", "ffmpeg>rescue", "rescue>ffmpeg", "best tool>rescue", "rescue>best tool", "none yields"]
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    total = [0] * 6
    for kind in sorted(kinds):
        k = kinds[kind]
        total = [x + y for x, y in zip(total, k)]
        print(f"| {kind} | " + " | ".join(str(x) for x in k) + " |")
    print("| all | " + " | ".join(str(x) for x in total) + " |")


if __name__ == "__main__":
    main()
