#!/usr/bin/env python3
"""Writes the seed corpus of the package header fuzzer: packages of every format version and
magic, cut at the edges of the header and the version block, with texts that lack their NUL,
and files that are no package; with --rzbpack <path to a native rzbpack>, also packages written
by the package tool itself (with its payload descriptor and a small payload). Deterministic:
running it again gives the same files."""
import os
import subprocess
import sys

# magic, version, model offset, block length, version offset
LAYOUTS = [
    (b"HSRZ", 13, 4, 392, 77),
    (b"RZ\x01\x03", 13, 4, 392, 77),
    (b"RZ\x01\x04", 14, 36, 556, 84),
    (b"RZ\x01\x05", 15, 36, 556, 84),
    (b"RZ\x01\x06", 16, 36, 556, 84),
    (b"RZ\x01\x07", 17, 48, 552, 96),
    (b"RZ\x01\x08", 18, 4, 100, 36),
]


def package(magic, model_at, block, version_at, model=b"5512QDS", version=b"V2.6_160226", payload=64):
    data = bytearray(b"\xa5" * (block + payload))
    data[0:4] = magic
    data[model_at:model_at + len(model) + 1] = model + b"\0"
    data[version_at:version_at + len(version) + 1] = version + b"\0"
    return bytes(data)


def tool_seeds(rzbpack, folder):
    for version in range(13, 19):
        for old in ([False, True] if version == 13 else [False]):
            name = "rzbpack-v%d%s.rzb" % (version, "-hsrz" if old else "")
            command = [rzbpack, "make", os.path.join(folder, name), "--format", str(version),
                       "--model", "5512QDS", "--version", "V2.6_160226", "--payload-size", "96", "--seed", "7"]
            if old:
                command.insert(5, "--old-magic")
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def main(folder, rzbpack=None):
    os.makedirs(folder, exist_ok=True)
    seeds = {}
    for magic, version, model_at, block, version_at in LAYOUTS:
        name = "v%d-%s" % (version, "hsrz" if magic == b"HSRZ" else "rz")
        whole = package(magic, model_at, block, version_at)
        seeds[name + "-ok"] = whole
        seeds[name + "-header-only"] = whole[:64]
        seeds[name + "-63-bytes"] = whole[:63]
        seeds[name + "-block-less-one"] = whole[:block - 1]
        seeds[name + "-block-exactly"] = whole[:block]
        no_nul = bytearray(b"M" * (block + 8))
        no_nul[0:4] = magic
        seeds[name + "-texts-without-nul"] = bytes(no_nul)
        seeds[name + "-empty-texts"] = package(magic, model_at, block, version_at, b"", b"")
        chinese = "升级包".encode("gbk")
        seeds[name + "-cp936-texts"] = package(magic, model_at, block, version_at, chinese, chinese)
    seeds["v18-80-bytes"] = package(b"RZ\x01\x08", 4, 100, 36)[:80]
    for name, magic in [("rz-01-09", b"RZ\x01\x09"), ("rz-00-0d", b"RZ\x00\x0d"), ("rz-01-02", b"RZ\x01\x02"),
                        ("rz-02-03", b"RZ\x02\x03"), ("hsrz-lower", b"HSRz"), ("zeros", b"\0\0\0\0")]:
        seeds["foreign-" + name] = package(magic, 36, 556, 84)
    seeds["empty"] = b""
    seeds["one-byte"] = b"R"
    seeds["magic-only"] = b"RZ\x01\x05"
    for name, data in sorted(seeds.items()):
        with open(os.path.join(folder, name + ".rzb"), "wb") as out:
            out.write(data)
    if rzbpack:
        tool_seeds(rzbpack, folder)
    print("%d seeds in %s" % (len(os.listdir(folder)), folder))


if __name__ == "__main__":
    args = sys.argv[1:]
    tool = None
    if "--rzbpack" in args:
        at = args.index("--rzbpack")
        tool = args[at + 1]
        del args[at:at + 2]
    main(args[0] if args else os.path.join(os.path.dirname(__file__), "corpus", "package_header"), tool)
