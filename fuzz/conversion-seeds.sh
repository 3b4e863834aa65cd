#!/usr/bin/env bash
# Writes the seeds of the H.264 configuration, avcC and packet-conversion fuzz targets from the
# sample streams of tests/data/h264 and tests/data/hevc: each stream's first parameter sets as an
# avcC record and as Annex B, as the units of a record to write, and with the stream's first and
# last pictures through a few framing combinations (see the targets' inputs).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python3 - "$HERE/corpus" "$HERE"/../tests/data/h264/*.h264 "$HERE"/../tests/data/hevc/*.hevc <<'PY'
import os, re, struct, sys
corpus = sys.argv[1]
for target in ("h264_codec_configuration", "nalus_to_avcc", "packet_conversion"):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
def write(target, name, data):
    open(os.path.join(corpus, target, name), "wb").write(data)
def annexb(units):
    return b"".join(b"\0\0\0\1" + u for u in units)
for path in sys.argv[2:]:
    name, ext = os.path.splitext(os.path.basename(path))
    hevc = ext == ".hevc"
    units = [u.rstrip(b"\0") for u in re.split(b"\0\0\1", open(path, "rb").read())[1:]]
    kind = (lambda u: u[0] >> 1 & 0x3F) if hevc else (lambda u: u[0] & 0x1F)
    sets = (32, 33, 34) if hevc else (7, 8)
    first = {}
    for u in units:
        first.setdefault(kind(u), u)
    config = [first[t] for t in sets]
    slices = [i for i, u in enumerate(units) if kind(u) < 32] if hevc else [i for i, u in enumerate(units) if 1 <= kind(u) <= 5]
    pictures = {"first": [u for u in units[:slices[0] + 1] if kind(u) not in sets], "last": [units[slices[-1]]]}
    if not hevc:
        sps, pps = config
        write("h264_codec_configuration", name + ".avcC",
              bytes([1, sps[1], sps[2], sps[3], 0xFF, 0xE1]) + struct.pack(">H", len(sps)) + sps + b"\1" + struct.pack(">H", len(pps)) + pps)
        write("h264_codec_configuration", name + ".annexb", annexb(config))
        write("nalus_to_avcc", name, b"\3" + annexb(units[:slices[0] + 1]))
    packed = annexb(config)
    for picture, (source, destination, key) in (("first", (4, 0, 1)), ("first", (0, 2, 1)), ("last", (2, 4, 0))):
        control = int(hevc) | source << 1 | destination << 4 | key << 7
        write("packet_conversion", "%s-%s-%d%d" % (name, picture, source, destination),
              bytes([control, 0, 0]) + struct.pack(">H", len(packed)) + packed + annexb(pictures[picture]))
PY
