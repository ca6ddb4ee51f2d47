#!/usr/bin/env python3
"""Rescue against the single tools and ffmpeg on damaged copies of the samples.

    bench/rescue_compare.py [--bin BUILD_DIR] [--keep]

Builds damaged files from the samples in tests/data and the bundled damaged sample (cut short,
packets overwritten, garbage inserted inside a packet, header fields broken, the header lost,
killed recordings, files without error correction data damaged), runs on each:

  rescue   mendery-cli rescue (with --reference SAMPLE where the header is lost)
  by hand  every repair preset, recover, basic, basic --resync, and rebuild-header where a
           reference is given (the best of them is shown)
  ffmpeg   ffmpeg -err_detect ignore_err -i damaged -c copy out.asf (as written: one stream of
           each kind, so its copy of d_ holds one of the two audio streams)
  -map 0   the same with -map 0: every stream, like for like with the other tools

and prints, per case, the decodable seconds, decoded frames and damaged frames of each output,
measured the same way for all: ffprobe decoding every frame (seconds from the first frame's
timestamp to the last frame's end), frames and damaged frames counted as bench/salvage_matrix.py
counts them (a frame decoded twice from a repeated packet counts once; a frame is damaged when
its own decoder reported an error making it), and, where the case was made from a sample, the
media objects whose bytes are exactly those of one in the undamaged sample ("intact"; a frame
kept with garbage or zeros in it decodes without an error but is not intact). Outputs are
ranked by intact objects where the original is known, else by clean frames (frames less
damaged ones: a frame decoded from damaged bytes is no gain), then by seconds. "-" marks a
tool that left no output. Not run by CI.
"""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from salvage_matrix import frame_counts, intact, packet_hashes  # noqa: E402
DATA = os.path.join(ROOT, "tests", "data")
DATA_GUID = bytes.fromhex("3626B2758E66CF11A6D900AA0062CE6C")
FILE_PROPS_GUID = bytes.fromhex("A1DCAB8C47A9CF118EE400C00C205365")
STREAM_PROPS_GUID = bytes.fromhex("9107DCB7B7A9CF118EE600C00C205365")
PRESETS = ["bad-chunks", "partial", "remove-frames", "seekable", "vd"]


def layout(data):
    """(data object offset, first packet offset, packet size, file properties offset)."""
    header_size = struct.unpack_from("<Q", data, 16)[0]
    fp = data.find(FILE_PROPS_GUID)
    packet_size = struct.unpack_from("<I", data, fp + 92)[0]
    data_at = data.find(DATA_GUID, 0)
    assert data_at == header_size, "sample header size"
    return data_at, data_at + 50, packet_size, fp


def stream_props(data, nth):
    """Offset of the nth stream properties object."""
    at = -1
    for _ in range(nth + 1):
        at = data.find(STREAM_PROPS_GUID, at + 1)
    return at


def header_cases(tag, data, reference):
    """Header fields broken (mended from the file) and the header lost (rebuilt from the sample)."""
    data_at, first, ps, fp = layout(data)
    out = []
    for size in (ps + 1, ps - 1, ps // 2, 0):
        b = bytearray(data)
        struct.pack_into("<II", b, fp + 92, size, size)   # min and max packet size
        out.append((f"{tag}: packet size {size}", bytes(b), None))
    b = bytearray(data)
    sp = stream_props(data, 1) + 72
    struct.pack_into("<H", b, sp, (struct.unpack_from("<H", data, sp)[0] & 0xFF80) | 7)
    out.append((f"{tag}: stream number changed", bytes(b), None))
    b = bytearray(data)
    struct.pack_into("<Q", b, 16, 0)
    out.append((f"{tag}: header size 0", bytes(b), None))
    out.append((f"{tag}: header cut off (ref)", data[first:], reference))
    out.append((f"{tag}: first 5 KB zeroed (ref)", bytes(5 * 1024) + data[5 * 1024:], reference))
    junk = bytes((0x91 + i * 7) & 0xFF for i in range(first + 2 * ps))
    out.append((f"{tag}: header+2 packets overwritten (ref)", junk + data[len(junk):], reference))
    return out


def gst_layout(data):
    """(first packet offset, packet size) of a file whose header size field may be 0 or short."""
    fp = data.find(FILE_PROPS_GUID)
    data_at = data.find(DATA_GUID, fp)
    return data_at + 50, struct.unpack_from("<I", data, fp + 92)[0]


def cases():
    """(name, bytes, reference or None) of every damaged file."""
    rng = random.Random(7)
    out = []
    for sample in ("a_wmv2_wmav2.wmv", "b_msmpeg4v3_wmav2.asf", "d_wmv2_2audio.wmv"):
        data = open(os.path.join(DATA, sample), "rb").read()
        tag = sample[0]
        data_at, first, ps, fp = layout(data)
        for name, damaged, reference in header_cases(tag, data, os.path.join(DATA, sample)):
            out.append((name, damaged, reference))
        packets = (len(data) - first) // ps
        mid = first + (packets // 2) * ps
        out.append((f"{tag}: cut at 60 %", data[: int(len(data) * 0.6)], None))
        out.append((f"{tag}: cut inside a packet", data[: mid + ps // 3], None))
        out.append((f"{tag}: 3 packets overwritten", data[:mid] + bytes(rng.randrange(256) for _ in range(3 * ps)) + data[mid + 3 * ps:], None))
        out.append((f"{tag}: 8 KB zeroed", data[:mid + 500] + bytes(8192) + data[mid + 500 + 8192:], None))
        out.append((f"{tag}: 1000 bytes inserted", data[: mid + 100] + bytes(rng.randrange(256) for _ in range(1000)) + data[mid + 100:], None))
        out.append((f"{tag}: half packet lost", data[:mid] + data[mid + ps // 2:], None))
        b = bytearray(data)
        struct.pack_into("<Q", b, data_at + 16, 0)       # data object size
        struct.pack_into("<Q", b, data_at + 40, 0)       # packet count
        struct.pack_into("<Q", b, fp + 56, 0)            # file properties packet count
        out.append((f"{tag}: data size and counts 0", bytes(b), None))
        b = bytearray(data)
        struct.pack_into("<I", b, fp + 88, 0)            # flags: not seekable
        struct.pack_into("<Q", b, fp + 64, 0)            # play duration
        struct.pack_into("<Q", b, fp + 72, 0)            # send duration
        out.append((f"{tag}: flags and durations 0", bytes(b), None))
        b = bytearray(data)
        struct.pack_into("<Q", b, 16, struct.unpack_from("<Q", data, 16)[0] + 7)  # header size field
        out.append((f"{tag}: header size field wrong", bytes(b), None))
    # Files whose packets carry no error correction data.
    for sample in ("k_gst_asfmux_wmv2_wmav2.wmv", "l_gst_killed_unfinalized.wmv"):
        data = open(os.path.join(DATA, sample), "rb").read()
        first, ps = gst_layout(data)
        packets = (len(data) - first) // ps
        mid = first + (packets // 2) * ps
        out.append((f"{sample[0]}: 3 packets overwritten", data[:mid] + bytes(rng.randrange(256) for _ in range(3 * ps)) + data[mid + 3 * ps:], None))
        out.append((f"{sample[0]}: 8 KB zeroed", data[:mid + 700] + bytes(8192) + data[mid + 700 + 8192:], None))
    for killed in ("l_gst_killed_unfinalized.wmv", "m_ffmpeg_killed_unfinalized.wmv"):
        out.append((f"{killed[0]}: killed recording", open(os.path.join(DATA, killed), "rb").read(), None))
    out.append(("bundled damaged sample", open(os.path.join(ROOT, "samples", "a_damaged.wmv"), "rb").read(), None))
    return out


ORIGINALS = {"a": "a_wmv2_wmav2.wmv", "b": "b_msmpeg4v3_wmav2.asf", "d": "d_wmv2_2audio.wmv",
             "k": "k_gst_asfmux_wmv2_wmav2.wmv", "l": "l_gst_killed_unfinalized.wmv",
             "m": "m_ffmpeg_killed_unfinalized.wmv"}


def original_of(case):
    """The undamaged sample a case was made from, or None."""
    name = ORIGINALS.get(case.split(":")[0])
    return os.path.join(DATA, name) if name else None


def decoded(path):
    """(seconds, frames, damaged frames) decoded from path; None when there is no file."""
    if not os.path.exists(path):
        return None
    r = subprocess.run(["ffprobe", "-v", "quiet", "-err_detect", "ignore_err", "-show_entries",
                        "frame=best_effort_timestamp_time,pkt_duration_time", "-of", "csv=p=0", path],
                       capture_output=True, text=True, timeout=300)
    first, end = None, None
    for line in r.stdout.splitlines():
        parts = line.strip().strip(",").split(",")
        try:
            t = float(parts[0])
        except (ValueError, IndexError):
            continue
        d = 0.0
        if len(parts) > 1:
            try:
                d = float(parts[1])
            except ValueError:
                pass
        first = t if first is None else min(first, t)
        end = t + d if end is None else max(end, t + d)
    frames, repeated, damaged, _ = frame_counts(path)
    return ((end - first) if first is not None else 0.0, frames - repeated, damaged)


def cli(bin_dir, *args):
    return subprocess.run([os.path.join(bin_dir, "mendery-cli"), *args, "--quiet", "--yes"],
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=600).returncode


def by_hand(bin_dir, src, folder, reference, original):
    """(name, measurement) of every single tool's output."""
    results = []
    if reference:
        out = os.path.join(folder, "rebuild-header.wmv")
        cli(bin_dir, "rebuild-header", src, "--reference", reference, "-o", out)
        results.append(("rebuild-header", measure(out, original)))
    for preset in PRESETS:
        out = os.path.join(folder, f"repair-{preset}.wmv")
        cli(bin_dir, "repair", src, "--preset", preset, "-o", out)
        results.append((f"repair {preset}", measure(out, original)))
    out = os.path.join(folder, "recover.wmv")
    cli(bin_dir, "recover", src, "-o", out)
    results.append(("recover", measure(out, original)))
    for name, extra in (("basic", []), ("basic --resync", ["--resync"])):
        out = os.path.join(folder, f"{name.replace(' ', '')}.wmv")
        cli(bin_dir, "basic", src, "-o", out, *extra)
        results.append((name, measure(out, original)))
    return results


def ffmpeg_copy(src, out, extra, original):
    subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-err_detect", "ignore_err", "-i", src, *extra, "-c", "copy", out],
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    return measure(out, original) if os.path.exists(out) and os.path.getsize(out) > 0 else None


def better(a, b):
    """The better measurement; None counts as nothing. Where the undamaged original is known:
    intact objects, then seconds (a frame beyond the intact ones was decoded from damaged
    bytes); elsewhere clean frames, then seconds."""
    def key(m):
        if m is None:
            return (-1, -1)
        return (m[3] if m[3] is not None else max(0, m[1] - m[2]), round(m[0], 1))
    return a if key(a) >= key(b) else b


def measure(path, original):
    """(seconds, frames, damaged frames, intact objects or None); None when there is no file."""
    m = decoded(path)
    return None if m is None else (*m, intact(path, original))


def show(m):
    if m is None:
        return "-"
    return f"{m[0]:.1f} s, {m[1]} fr, {m[2]} err" + ("" if m[3] is None else f", {m[3]} intact")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build"))
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="rescue-compare-")
    rows = []
    try:
        for i, (name, data, reference) in enumerate(cases()):
            folder = os.path.join(work, f"{i:02d}")
            os.makedirs(folder)
            src = os.path.join(folder, "damaged.wmv")
            with open(src, "wb") as f:
                f.write(data)
            original_path = original_of(name)
            original = packet_hashes(original_path) if original_path else None
            source = measure(src, original)
            out = os.path.join(folder, "rescue.wmv")
            code = cli(args.bin, "rescue", src, "-o", out, *(["--reference", reference] if reference else []))
            rescue = measure(out, original)
            best_name, best = "-", None
            for tool, m in by_hand(args.bin, src, folder, reference, original):
                if m is not None and better(m, best) is m and (best is None or m != best):
                    best_name, best = tool, m
            ffm = ffmpeg_copy(src, os.path.join(folder, "ffmpeg.asf"), [], original)
            ffall = ffmpeg_copy(src, os.path.join(folder, "ffmpeg-map0.asf"), ["-map", "0"], original)
            rival = better(better(best, ffm), ffall)
            verdict = "ok" if rescue == rival or better(rescue, rival) is rescue else "BEHIND"
            rows.append((name, code, source, rescue, best_name, best, ffm, ffall, verdict))
            print(f"{name:40s} exit {code:3d}  source {show(source)}  rescue {show(rescue)}  "
                  f"best {best_name:18s} {show(best)}  ffmpeg {show(ffm)}  -map 0 {show(ffall)}  {verdict}", file=sys.stderr)
    finally:
        if args.keep:
            print(f"work folder: {work}", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print("| case | source | rescue (exit) | best single tool | ffmpeg -c copy | ffmpeg -map 0 | rescue vs best |")
    print("|---|---|---|---|---|---|---|")
    for name, code, source, rescue, best_name, best, ffm, ffall, verdict in rows:
        print(f"| {name} | {show(source)} | {show(rescue)} ({code}) | {best_name}: {show(best)} | {show(ffm)} | {show(ffall)} | {verdict} |")
    behind = sum(1 for r in rows if r[-1] != "ok")
    print(f"\n{len(rows)} cases, rescue behind in {behind}")


if __name__ == "__main__":
    main()
