#!/usr/bin/env python3
"""Damaged-file matrix: every mendery-cli tool on damaged copies of the samples.

    bench/damage_matrix.py [--bin BUILD_DIR] [--samples DIR] [--limit N] [--seed S] [--jobs J]

Makes damaged copies of the samples in a temporary folder (truncations at every structure,
bit flips in header fields and packet headers, zeroed, inserted and duplicated ranges, broken
object size fields, files glued together, empty and random files), runs each tool on each copy
with a timeout, and prints how often each fault class occurred, per tool:

  crash       the tool died of a signal
  hang        it did not end within the timeout
  src-changed the source file's bytes changed (flags runs on a copy and is allowed to)
  destroyed   an output that existed before (a second run, without --yes) was changed or removed
  false-ok    exit 0 but the output is missing or ffprobe finds no packet in it
  left-over   a failed run left an output or a temporary file behind
  no-chinese  a failed run printed no line in the program's language
  bad-exit    an exit code outside the table (0 1 2 3 130 143)

Not run by CI. By default 120 of the some 500 damaged files are chosen (deterministically, by
--seed), which keeps a run under about ten minutes on two cores; --limit 0 runs them all.
"""
import argparse
import concurrent.futures
import hashlib
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER_GUID = bytes.fromhex("3026B2758E66CF11A6D900AA0062CE6C")
DATA_GUID = bytes.fromhex("3626B2758E66CF11A6D900AA0062CE6C")
FILE_PROPS_GUID = bytes.fromhex("A1DCAB8C47A9CF118EE400C00C205365")
EXIT_TABLE = {0, 1, 2, 3, 130, 143}
FAULTS = ["crash", "hang", "src-changed", "destroyed", "false-ok", "left-over", "no-chinese", "bad-exit"]
CHINESE = re.compile("[\u4e00-\u9fff]")

# name, arguments before the source, output name (None: no output), timeout in seconds
TOOLS = [
    ("info", ["info"], None, 20),
    ("repair", ["repair", "--preset", "bad-chunks"], "out.wmv", 20),
    ("recover", ["recover"], "out.wmv", 20),
    ("shrink", ["shrink"], "out.wmv", 30),
    ("flags", ["flags", "--no"], None, 20),
    ("sample", ["sample"], "in.wmv.sam", 20),
    ("avi", ["avi"], "out.avi", 60),  # a packet size of 1 makes a million one-byte packets
    ("wav", ["wav"], "out.wav", 20),
    ("reencode", ["reencode"], "out.wmv", 60),
    ("basic", ["basic"], "out.wmv", 30),
    ("cut", ["cut", "--start", "1", "--end", "3"], "out.wmv", 30),
]
# Tools whose run takes seconds on any real file: they see a share of the matrix only.
SLOW_TOOLS = {"reencode": 0.15}


# ---------------------------------------------------------------- the damaged copies

def layout(data):
    """Header size, sub-object offsets, data object start, packet size, index start."""
    if len(data) < 30 or data[:16] != HEADER_GUID:
        return None
    header_size = struct.unpack_from("<Q", data, 16)[0]
    subs, pos = [], 30
    packet_size = 0
    while pos + 24 <= min(header_size, len(data)):
        size = struct.unpack_from("<Q", data, pos + 16)[0]
        subs.append(pos)
        if data[pos:pos + 16] == FILE_PROPS_GUID and pos + 96 <= len(data):
            packet_size = struct.unpack_from("<I", data, pos + 92)[0]
        if size < 24:
            break
        pos += size
    data_start = header_size
    index_start = None
    if data_start + 50 <= len(data) and data[data_start:data_start + 16] == DATA_GUID:
        data_size = struct.unpack_from("<Q", data, data_start + 16)[0]
        if data_start + data_size < len(data):
            index_start = data_start + data_size
    return header_size, subs, data_start, packet_size, index_start


def damaged_copies(name, data, other, rng):
    """(label, bytes) for every kind of damage of one sample."""
    out = []
    lay = layout(data)
    if not lay:
        return out
    header_size, subs, data_start, ps, index_start = lay
    ps = ps or 3200
    first = data_start + 50
    packets = max(1, (len(data) - first) // ps)
    mid = first + (packets // 2) * ps

    def cut(at, label):
        out.append((f"{name}:trunc-{label}", data[:max(0, at)]))

    cut(header_size // 2, "in-header")
    for i, off in enumerate(subs):
        cut(off, f"object{i}")
    cut(data_start, "data-object")
    cut(data_start + 20, "in-data-head")
    cut(first + ps // 2, "first-packet")
    cut(mid + ps // 3, "mid-packet")
    if index_start:
        cut(index_start, "index")
        cut(index_start + 30, "in-index")
    cut(len(data) - 1, "last-byte")

    def patched(label, at, value, fmt):
        b = bytearray(data)
        if at + struct.calcsize(fmt) <= len(b):
            struct.pack_into(fmt, b, at, value)
            out.append((f"{name}:{label}", bytes(b)))

    for v, t in ((0, "0"), (1, "1"), (29, "29"), (2**64 - 1, "-1")):
        patched(f"header-size-{t}", 16, v, "<Q")
        if len(subs) > 1:
            patched(f"object1-size-{t}", subs[1] + 16, v, "<Q")
    patched("object-count-huge", 24, 0xFFFFFFFF, "<I")
    patched("data-size-0", data_start + 16, 0, "<Q")
    patched("data-packets-huge", data_start + 40, 2**63, "<Q")
    for off in subs:
        if data[off:off + 16] == FILE_PROPS_GUID:
            patched("packet-size-0", off + 92, 0, "<I")
            patched("packet-size-1", off + 92, 1, "<I")
            patched("packet-size-huge", off + 92, 0x7FFFFFFF, "<I")
            patched("max-packet-size-differs", off + 96, ps * 2, "<I")
            patched("flags-all", off + 88, 0xFFFFFFFF, "<I")

    def flipped(label, positions):
        b = bytearray(data)
        for p in positions:
            if p < len(b):
                b[p] ^= 1 << rng.randrange(8)
        out.append((f"{name}:{label}", bytes(b)))

    flipped("flip-header", [rng.randrange(0, header_size) for _ in range(8)])
    flipped("flip-packet-heads", [first + k * ps + rng.randrange(0, 16) for k in range(0, packets, max(1, packets // 20))])
    flipped("flip-length-flags", [first + k * ps + 3 for k in range(0, packets, 7)])
    flipped("flip-everywhere", [rng.randrange(0, len(data)) for _ in range(64)])

    def spliced(label, start, end, insert):
        out.append((f"{name}:{label}", data[:start] + insert + data[end:]))

    spliced("zero-4k-mid", mid, mid + 4096, bytes(min(4096, len(data) - mid)))
    spliced("zero-header", 0, header_size, bytes(header_size))
    spliced("zero-first-packets", first, first + 3 * ps, bytes(3 * ps))
    spliced("insert-1000-mid", mid + 100, mid + 100, bytes(rng.randrange(256) for _ in range(1000)))
    spliced("insert-17-after-head", first, first, bytes(17))
    spliced("duplicate-3-packets", mid, mid, data[mid:mid + 3 * ps])
    spliced("delete-half-packet", mid, mid + ps // 2, b"")
    out.append((f"{name}:glued", data + other))
    out.append((f"{name}:glued-cut", data[: len(data) // 2] + other))
    return out


def make_matrix(samples, folder, rng):
    names = sorted(n for n in os.listdir(samples) if n.endswith((".wmv", ".asf", ".wma")))
    blobs = {n: open(os.path.join(samples, n), "rb").read() for n in names}
    files = [("empty", b""), ("random-64k", bytes(rng.randrange(256) for _ in range(65536))),
             ("header-guid-only", HEADER_GUID)]
    for i, n in enumerate(names):
        files += damaged_copies(n.split(".")[0], blobs[n], blobs[names[(i + 1) % len(names)]], rng)
    paths = []
    for i, (label, data) in enumerate(files):
        path = os.path.join(folder, f"{i:04d}.wmv")
        with open(path, "wb") as f:
            f.write(data)
        paths.append((label, path))
    return paths


# ---------------------------------------------------------------- running the tools

def digest(path):
    try:
        with open(path, "rb") as f:
            return hashlib.sha1(f.read()).hexdigest()
    except OSError:
        return None


def probe_packets(path):
    try:
        r = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets",
                            "-of", "csv=p=0", path], capture_output=True, text=True, timeout=60)
    except subprocess.TimeoutExpired:
        return 0
    return sum(int(x) for x in re.findall(r"\d+", r.stdout)) if r.returncode == 0 else 0


def run(bin_dir, args, cwd, timeout):
    try:
        r = subprocess.run([os.path.join(bin_dir, "mendery-cli")] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=timeout)
        return r.returncode, (r.stdout + r.stderr).decode("utf-8", "replace")
    except subprocess.TimeoutExpired as e:
        return None, ((e.stdout or b"") + (e.stderr or b"")).decode("utf-8", "replace")


def one_case(bin_dir, tool, damaged):
    """The faults one tool shows on one damaged file."""
    name, args, output, timeout = tool
    faults = set()
    with tempfile.TemporaryDirectory(prefix="mendery-matrix-") as work:
        source = os.path.join(work, "in.wmv")
        shutil.copyfile(damaged, source)
        before = digest(source)
        out_args = ["-o", output] if output and name != "sample" else []
        # Without a question asked (WMV2 to AVI), the first run answers Yes.
        extra = ["--yes"] if name in ("avi",) else []
        code, text = run(bin_dir, args + extra + ["in.wmv"] + out_args, work, timeout)
        if code is None:
            faults.add("hang")
        elif code < 0:
            faults.add("crash")
        else:
            if code not in EXIT_TABLE:
                faults.add("bad-exit")
            if code != 0 and code not in (130, 143) and not CHINESE.search(text):
                faults.add("no-chinese")
            out_path = os.path.join(work, output) if output else None
            if code == 0 and out_path:
                if not os.path.exists(out_path) or os.path.getsize(out_path) == 0:
                    faults.add("false-ok")
                elif name != "sample" and probe_packets(out_path) == 0:
                    faults.add("false-ok")
            if code != 0 and out_path and os.path.exists(out_path):
                faults.add("left-over")
        if name != "flags" and digest(source) != before:
            faults.add("src-changed")
        leftovers = [f for f in os.listdir(work) if ".part-" in f or f.endswith(".idx")]
        if leftovers:
            faults.add("left-over")

        # Second run: the output's name is taken by a file the user had; no --yes.
        if output and code is not None and code >= 0:
            out_path = os.path.join(work, output)
            keep = b"the user's own file, not to be touched\n"
            with open(out_path, "wb") as f:
                f.write(keep)
            shutil.copyfile(damaged, source)
            code2, _ = run(bin_dir, args + ["in.wmv"] + out_args, work, timeout)
            if code2 is None:
                faults.add("hang")
            elif code2 < 0:
                faults.add("crash")
            if digest(out_path) != hashlib.sha1(keep).hexdigest():
                faults.add("destroyed")
    return faults


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build"), help="folder holding mendery-cli and clipwright")
    ap.add_argument("--samples", default=os.path.join(ROOT, "tests", "data"))
    ap.add_argument("--limit", type=int, default=120, help="run on N damaged files chosen by --seed (0: all of them)")
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--tools", default="", help="comma-separated subset of the tools")
    ap.add_argument("--verbose", action="store_true", help="print every case with a fault")
    a = ap.parse_args()
    a.bin = os.path.abspath(a.bin)
    if not shutil.which("ffprobe"):
        sys.exit("ffprobe is needed to judge outputs")

    rng = random.Random(a.seed)
    tools = [t for t in TOOLS if not a.tools or t[0] in a.tools.split(",")]
    with tempfile.TemporaryDirectory(prefix="mendery-damaged-") as folder:
        files = make_matrix(a.samples, folder, rng)
        if a.limit and a.limit < len(files):
            files = sorted(rng.sample(files, a.limit))
        cases = [(t, f) for t in tools for f in files if rng.random() < SLOW_TOOLS.get(t[0], 1.0)]
        counts = {t[0]: {k: 0 for k in FAULTS} for t in tools}
        runs = {t[0]: 0 for t in tools}
        with concurrent.futures.ThreadPoolExecutor(max_workers=a.jobs) as pool:
            futures = {pool.submit(one_case, a.bin, t, f[1]): (t, f) for t, f in cases}
            for fut in concurrent.futures.as_completed(futures):
                (t, (label, _)) = futures[fut]
                faults = fut.result()
                runs[t[0]] += 1
                for k in faults:
                    counts[t[0]][k] += 1
                if faults and a.verbose:
                    print(f"{t[0]:9s} {label:40s} {' '.join(sorted(faults))}", flush=True)

    print(f"{len(files)} damaged files, {len(cases)} cases, seed {a.seed}, binaries {a.bin}")
    print(f"{'tool':10s}{'runs':>6s}" + "".join(f"{k:>12s}" for k in FAULTS))
    total = {k: 0 for k in FAULTS}
    for t in tools:
        n = t[0]
        print(f"{n:10s}{runs[n]:6d}" + "".join(f"{counts[n][k]:12d}" for k in FAULTS))
        for k in FAULTS:
            total[k] += counts[n][k]
    print(f"{'all':10s}{sum(runs.values()):6d}" + "".join(f"{total[k]:12d}" for k in FAULTS))


if __name__ == "__main__":
    main()
