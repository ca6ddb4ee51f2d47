#!/usr/bin/env python3
"""Golden outputs: every tool on every bundled sample and a few damaged copies.

    tests/golden/golden.py [--bin BUILD_DIR] [--update] [--keep DIR]

Runs every mendery-cli command and every clipwright mode with fixed arguments, and compares
each run's exit code, the SHA-256 of its output file and the SHA-256 of its log (the temporary
folder's name replaced by <DIR>, a staged file's random part by XXXXXX) with tests/golden/manifest.tsv. A refactoring changes none of
them; a deliberate change of behaviour updates the manifest (--update) in the same commit, and
its message says why. The normalised logs go to tests/golden/logs/ with --update, so a
difference can be read with diff against --keep's copy.

Exit status: 0 when everything matches, 1 when something differs (each difference listed).
"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLES = os.path.join(ROOT, "tests", "data")
MANIFEST = os.path.join(HERE, "manifest.tsv")
LOGS = os.path.join(HERE, "logs")
HEADER_GUID = bytes.fromhex("3026B2758E66CF11A6D900AA0062CE6C")
DATA_GUID = bytes.fromhex("3626B2758E66CF11A6D900AA0062CE6C")
# A staged output's random part (.out.part-u5Y8Gn.wmv) differs from run to run.
TEMPORARY_NAME = re.compile(r"(\.[^/\s]+)\.part-[A-Za-z0-9]{6}")


# ---------------------------------------------------------------- the inputs

def data_start(data):
    return struct.unpack_from("<Q", data, 16)[0]


def first_packet(data):
    return data_start(data) + 50


def damaged_copies():
    """name -> bytes: damage every tool has to cope with, made from the samples."""
    def read(name):
        with open(os.path.join(SAMPLES, name), "rb") as f:
            return f.read()
    a = read("a_wmv2_wmav2.wmv")
    d = read("d_wmv2_2audio.wmv")
    k = read("k_gst_asfmux_wmv2_wmav2.wmv")
    copies = {}
    copies["a_truncated60"] = a[: len(a) * 6 // 10]
    flipped = bytearray(a)
    p = first_packet(a)
    for n in range(5, 60, 9):  # packet headers of every ninth packet from the fifth
        flipped[p + n * 3200 + 3] ^= 0x5A
    copies["a_packet_headers_flipped"] = bytes(flipped)
    zero_size = bytearray(a)
    zero_size[16:24] = b"\0" * 8
    copies["a_header_size_0"] = bytes(zero_size)
    at = first_packet(a) + 20 * 3200 + 700
    copies["a_inserted_777"] = a[:at] + bytes((i * 37 + 11) & 0xFF for i in range(777)) + a[at:]
    start = first_packet(d) + 10 * 3200
    copies["d_duplicated_range"] = d[: start + 9600] + d[start: start + 9600] + d[start + 9600:]
    copies["k_truncated"] = k[: len(k) * 7 // 10]
    zeroed = bytearray(a)
    zeroed[first_packet(a) + 30 * 3200: first_packet(a) + 34 * 3200] = b"\0" * (4 * 3200)
    copies["a_zeroed_packets"] = bytes(zeroed)
    return copies


def inputs(work):
    """(case name, path) of every input, written into work/in."""
    folder = os.path.join(work, "in")
    os.makedirs(folder)
    result = []
    for name in sorted(os.listdir(SAMPLES)):
        path = os.path.join(folder, name)
        shutil.copyfile(os.path.join(SAMPLES, name), path)
        result.append((os.path.splitext(name)[0], path))
    bundled = os.path.join(ROOT, "samples", "a_damaged.wmv")
    if os.path.exists(bundled):
        shutil.copyfile(bundled, os.path.join(folder, "a_damaged.wmv"))
        result.append(("a_damaged", os.path.join(folder, "a_damaged.wmv")))
    for name, data in damaged_copies().items():
        path = os.path.join(folder, name + ".wmv")
        with open(path, "wb") as f:
            f.write(data)
        result.append((name, path))
    return result


# ---------------------------------------------------------------- the runs

# name, mendery-cli arguments before the source, output extension (None: the log only)
CLI_RUNS = [
    ("info", ["info"], None),
    ("info-json", ["info", "--json"], None),
    ("repair-bad-chunks", ["repair", "--preset", "bad-chunks"], ".wmv"),
    ("repair-partial", ["repair", "--preset", "partial"], ".wmv"),
    ("repair-remove-frames", ["repair", "--preset", "remove-frames"], ".wmv"),
    ("repair-vd", ["repair", "--preset", "vd"], ".wmv"),
    ("repair-all-fixes", ["repair", "--bad-chunks", "zero", "--fix-file-size", "--fix-data-size",
                          "--fix-chunk-count", "--fix-time-codes", "--fix-total-time",
                          "--fix-play-time", "--fix-pad08", "--fix-pad10", "--clean-header"], ".wmv"),
    ("recover", ["recover"], ".wmv"),
    ("shrink", ["shrink"], ".wmv"),
    ("shrink-no-extra", ["shrink", "--no-extra"], ".wmv"),
    ("avi", ["avi", "--yes"], ".avi"),
    ("avi-fastest", ["avi", "--yes", "--timing", "fastest", "--quick-resync", "--divx"], ".avi"),
    ("wav", ["wav"], ".wav"),
    ("basic", ["basic"], ".wmv"),
    ("basic-resync", ["basic", "--resync", "--istart"], ".wmv"),
    ("cut", ["cut", "--start", "1", "--end", "3"], ".wmv"),
    ("cut-except", ["cut", "--start", "1", "--end", "3", "--except"], ".wmv"),
    ("sample", ["sample"], None),
    ("flags", ["flags", "--yes"], None),
    ("rescue", ["rescue"], ".wmv"),
]
# The re-encoder takes seconds per file: these cases only.
REENCODE_CASES = {"a_wmv2_wmav2", "c_wmav2", "a_damaged"}
JOIN_PAIRS = [("a_wmv2_wmav2", "a_wmv2_wmav2"), ("a_wmv2_wmav2", "a_damaged"),
              ("b_msmpeg4v3_wmav2", "b_msmpeg4v3_wmav2")]


def sha256_file(path):
    if not os.path.exists(path):
        return "-"
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def run(command, work, cwd):
    env = dict(os.environ, LANG="C.UTF-8", CLIPWRIGHT_PROGRESS="0")
    done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    log = done.stdout.decode("utf-8", "replace").replace(work, "<DIR>")
    log = TEMPORARY_NAME.sub(r"\1.part-XXXXXX", log)
    return done.returncode, log


def all_runs(bin_dir, work):
    cli = os.path.join(bin_dir, "mendery-cli")
    clipwright = os.path.join(bin_dir, "clipwright")
    cases = inputs(work)
    paths = dict(cases)
    for case, source in cases:
        runs = list(CLI_RUNS)
        if case in REENCODE_CASES:
            runs.append(("reencode", ["reencode"], ".wmv"))
        for tool, args, ext in runs:
            folder = os.path.join(work, "out", case, tool)
            os.makedirs(folder)
            target = source
            if tool == "flags":  # the flag fixer changes its input: it works on a copy
                target = os.path.join(folder, "copy.wmv")
                shutil.copyfile(source, target)
            command = [cli] + args + [target]
            output = None
            if ext:
                output = os.path.join(folder, "out" + ext)
                command += ["-o", output]
            elif tool == "sample":
                output = source + ".sam"
            code, log = run(command, work, folder)
            digest = sha256_file(output if output else target if tool == "flags" else "")
            if tool == "sample" and os.path.exists(output):
                os.remove(output)
            yield f"{case}\t{tool}", code, digest, log
        for tool, extra in [("clipwright-basic", []), ("clipwright-resync", ["-resync"]),
                            ("clipwright-pieces", ["-start", "0", "-dur", "2", "-start", "5", "-dur", "3"]),
                            ("clipwright-istart", ["-istart", "-start", "4"])]:
            folder = os.path.join(work, "out", case, tool)
            os.makedirs(folder)
            output = os.path.join(folder, "out.wmv")
            code, log = run([clipwright, "-i", source, "-o", output] + extra, work, folder)
            yield f"{case}\t{tool}", code, sha256_file(output), log
    for first, second in JOIN_PAIRS:
        for tool, command in [("join", [cli, "join", paths[first], paths[second]]),
                              ("clipwright-join", [clipwright, "-i", paths[first], "-i", paths[second]])]:
            folder = os.path.join(work, "out", f"{first}+{second}", tool)
            os.makedirs(folder)
            output = os.path.join(folder, "out.wmv")
            command = command + ["-o", output]
            code, log = run(command, work, folder)
            yield f"{first}+{second}\t{tool}", code, sha256_file(output), log


# ---------------------------------------------------------------- manifest

def log_name(key):
    return key.replace("\t", ".") + ".log"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", default=os.path.join(ROOT, "build"))
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--keep", help="keep the normalised logs of this run in DIR")
    parser.add_argument("--exit-only", action="append", default=[], metavar="TOOL",
                        help="compare only the exit code of TOOL's runs (the re-encoder's bytes "
                             "depend on the machine's FFmpeg build and CPU)")
    options = parser.parse_args()
    bin_dir = os.path.abspath(options.bin)

    expected = {}
    if os.path.exists(MANIFEST):
        with open(MANIFEST, encoding="utf-8") as f:
            for line in f:
                if line.startswith("#") or not line.strip():
                    continue
                case, tool, code, out, log = line.rstrip("\n").split("\t")
                expected[f"{case}\t{tool}"] = (code, out, log)

    work = tempfile.mkdtemp(prefix="golden-")
    try:
        results = {}
        logs = {}
        for key, code, digest, log in all_runs(bin_dir, work):
            results[key] = (str(code), digest, hashlib.sha256(log.encode()).hexdigest())
            logs[key] = log
    finally:
        shutil.rmtree(work, ignore_errors=True)

    if options.keep:
        os.makedirs(options.keep, exist_ok=True)
        for key, log in logs.items():
            with open(os.path.join(options.keep, log_name(key)), "w", encoding="utf-8") as f:
                f.write(log)

    if options.update:
        with open(MANIFEST, "w", encoding="utf-8") as f:
            f.write("# case\ttool\texit\toutput sha256 (- none)\tlog sha256\n")
            for key in sorted(results):
                f.write(key + "\t" + "\t".join(results[key]) + "\n")
        shutil.rmtree(LOGS, ignore_errors=True)
        os.makedirs(LOGS)
        for key, log in logs.items():
            with open(os.path.join(LOGS, log_name(key)), "w", encoding="utf-8") as f:
                f.write(log)
        print(f"{len(results)} runs recorded in {MANIFEST}")
        return 0

    differences = []
    for key in sorted(set(results) | set(expected)):
        got, want = results.get(key), expected.get(key)
        if got and want and key.split("\t")[1] in options.exit_only:
            got, want = got[:1], want[:1]
        if got == want:
            continue
        if got is None or want is None:
            differences.append(f"{key}: {'not run' if got is None else 'not in the manifest'}")
            continue
        what = [name for name, g, w in zip(("exit", "output", "log"), got, want) if g != w]
        detail = f" (exit {want[0]} -> {got[0]})" if "exit" in what else ""
        differences.append(f"{key}: {', '.join(what)} differ{detail}; log: {log_name(key)}")
    for line in differences:
        print(line)
    print(f"{len(results)} runs, {len(differences)} differences")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
