#!/usr/bin/env bash
# Makes the small HEVC streams that the parameter-set and slice-header tests decode, and next to
# each one the oracles: FFmpeg's trace_headers listing of its VPS, SPS and PPS units in NAME.trace
# (the extradata copy that the demuxer also traces is left out, so the sections follow the
# stream's units in order) and of its slice segment headers in NAME.slices.
#
# Needs x265 and ffmpeg (scripts/setup.sh installs both). Run from anywhere:
#   bash tests/data/hevc/make-streams.sh
# The raw pictures come from ffmpeg's testsrc2 and every encode is single-threaded, so running it
# again with the same tool versions gives the same bytes.
set -euo pipefail
OUT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
source "$OUT/../trace-headers.sh"

# raw NAME WxH PIXFMT FRAMES [FILTER]: testsrc2 pictures as raw video in $TMP/NAME.yuv. Odd
# sizes are cut from a larger even picture, since testsrc2 rounds them to even.
raw() {
  local name=$1 size=$2 pixfmt=$3 frames=$4 filter=${5:-null}
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" \
    -vf "$filter" -frames:v "$frames" -pix_fmt "$pixfmt" -f rawvideo "$TMP/$name.yuv"
}

# x265cli NAME WxH FRAMES OPTIONS...: encodes $TMP/NAME.yuv into NAME.hevc.
x265cli() {
  local name=$1 size=$2 frames=$3
  shift 3
  timeout 120 x265 --input "$TMP/$name.yuv" --input-res "$size" --fps 25 --frames "$frames" \
    --frame-threads 1 --no-info --log-level error "$@" -o "$OUT/$name.hevc"
}

# 8-bit 4:2:0: two temporal sub-layers, B-pyramid, two slices with WPP, access unit delimiters,
# and a VUI with aspect ratio, overscan, full range, BT.709 colour and chroma location.
raw main8_tl_vui 176x144 yuv420p 6
x265cli main8_tl_vui 176x144 6 --ctu 32 --temporal-layers --bframes 3 --b-pyramid --slices 2 \
  --aud --sar 12:11 --overscan show --range full --colorprim bt709 --transfer bt709 \
  --colormatrix bt709 --chromaloc 2

# 10-bit 4:2:0: HRD in the VUI, a default display window, PPS-level QP and reference counts,
# chroma QP offsets, deblocking offsets, weighted bi-prediction and 16-bit POC LSBs.
raw main10_hrd_window 128x96 yuv420p10le 4
x265cli main10_hrd_window 128x96 4 --input-depth 10 --output-depth 10 --hrd --vbv-bufsize 300 \
  --vbv-maxrate 300 --display-window 8,4,8,4 --opt-qp-pps --opt-ref-list-length-pps --weightb \
  --bframes 2 --cbqpoffs -3 --crqpoffs 2 --deblock -2:1 --log2-max-poc-lsb 16

# 10-bit 4:2:2 (range extensions profile): HDR10 colour and SEI, transform skip, constrained
# intra, CU-level lossless, no SAO, 16x16 CTUs.
raw rext422_10_hdr 96x64 yuv422p10le 3
x265cli rext422_10_hdr 96x64 3 --input-csp i422 --input-depth 10 --output-depth 10 \
  --colorprim bt2020 --transfer smpte2084 --colormatrix bt2020nc \
  --master-display 'G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)' \
  --max-cll 1000,400 --tskip --constrained-intra --no-sao --cu-lossless --ctu 16

# 12-bit 4:4:4 at an odd size, so the SPS carries a conformance window; deblocking off.
raw rext444_12_odd 137x76 yuv444p12le 2 crop=136:75:0:0
x265cli rext444_12_odd 136x75 2 --input-csp i444 --input-depth 12 --output-depth 12 --no-deblock \
  --ctu 32

# Monochrome 8-bit with the default scaling lists (enabled, no list data).
raw mono8_default_lists 64x48 gray 2
x265cli mono8_default_lists 64x48 2 --input-csp i400 --scaling-list default --ctu 16

# Explicit scaling lists from an HM-style file: coded lists and lists predicted from another.
python3 - "$TMP/lists.txt" <<'PY'
import random, sys
random.seed(4)
kinds = ["INTRA%s_LUMA", "INTRA%s_CHROMAU", "INTRA%s_CHROMAV",
         "INTER%s_LUMA", "INTER%s_CHROMAU", "INTER%s_CHROMAV"]
out = []
for size, count in ((4, 16), (8, 64), (16, 64), (32, 64)):
    block = "%dX%d" % (size, size)
    for k, kind in enumerate(kinds):
        if k not in (2, 5):  # the V lists repeat the U lists, so they are coded by reference
            values = [max(1, min(255, 16 + (i // 4) * 3 + random.randint(-4, 6)))
                      for i in range(count)]
        out.append(kind % block + " =")
        row = 8 if count == 64 else 4
        out += [",".join(map(str, values[r:r + row])) + "," for r in range(0, count, row)]
        if size >= 16:
            out += [kind % block + "_DC =", "%d," % (values[0] + 2)]
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY
raw scaling_custom 64x64 yuv420p 2
x265cli scaling_custom 64x64 2 --scaling-list "$TMP/lists.txt" --ctu 32 --amp --rect \
  --max-tu-size 16 --tu-intra-depth 2 --tu-inter-depth 2

# 8-bit 4:2:0 with 16x16 CTUs, high tier at level 4.1, parameter sets repeated at every
# keyframe, no temporal MV prediction, no strong intra smoothing, no sign hiding.
raw main8_ctu16_repeat 64x32 yuv420p 4
x265cli main8_ctu16_repeat 64x32 4 --ctu 16 --min-cu-size 8 --high-tier --level-idc 4.1 \
  --no-wpp --keyint 2 --repeat-headers --ref 1 --no-temporal-mvp --no-strong-intra-smoothing \
  --no-signhide

# Through ffmpeg's libx265 wrapper: 12-bit 4:2:0 at a size that is no multiple of the minimum
# CU (a conformance window on the right and at the bottom), three slices, no SAO.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=174x102:rate=25 \
  -frames:v 2 -pix_fmt yuv420p12le -c:v libx265 -crf 35 \
  -x265-params 'log-level=error:frame-threads=1:info=0:slices=3:sao=0' \
  -f hevc "$OUT/ffmpeg_main12_slices.hevc"

# Open GOP: CRA pictures with RASL leading pictures, B-pyramid over three references, SAO and
# temporal MV prediction on, reference counts overridden per slice.
raw open_gop_cra 96x64 yuv420p 17
x265cli open_gop_cra 96x64 17 --open-gop --keyint 8 --min-keyint 8 --no-scenecut --bframes 3 \
  --b-pyramid --ref 3 --ctu 16 --qp 34

# Weighted uni- and bi-prediction over a fade-in, without temporal MV prediction.
raw weighted_fade 96x64 yuv420p 12 fade=in:0:12
x265cli weighted_fade 96x64 12 --weightp --weightb --bframes 2 --ref 2 --ctu 16 --no-temporal-mvp \
  --qp 34

# Six slices per picture (one per CTU row) with P and B slices, SAO off, temporal MV prediction on.
raw six_slices 128x96 yuv420p 8
x265cli six_slices 128x96 8 --slices 6 --ctu 16 --no-sao --bframes 2 --ref 2 --qp 36

# The oracles: trace_headers of the parameter sets in NAME.trace, of the slice segment headers in
# NAME.slices.
for f in "$OUT"/*.hevc; do
  trace_sections "$f" "(Video|Sequence|Picture) Parameter Set" >"${f%.hevc}.trace"
  trace_sections "$f" "Slice Segment Header" >"${f%.hevc}.slices"
done

# Seeds of the parameter-set fuzz target: the first VPS, SPS and PPS of each stream, behind the
# 16-bit lengths of the VPS and the SPS (fuzz/hevc_parameter_sets.cpp).
SEEDS="$OUT/../../../fuzz/corpus/hevc_parameter_sets"
mkdir -p "$SEEDS"
python3 - "$SEEDS" "$OUT"/*.hevc <<'PY'
import os, re, struct, sys
seeds = sys.argv[1]
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    units = [u.rstrip(b"\0") for u in re.split(b"\0\0\1", data)[1:]]
    first = {}
    for u in units:
        first.setdefault((u[0] >> 1) & 0x3F, u)
    vps, sps, pps = first[32], first[33], first[34]
    name = os.path.splitext(os.path.basename(path))[0]
    with open(os.path.join(seeds, name), "wb") as f:
        f.write(struct.pack(">HH", len(vps), len(sps)) + vps + sps + pps)
PY
# Seeds of the slice-header fuzz target: the first VPS, SPS and PPS of each stream behind their
# three 16-bit lengths, then one slice unit (the first two and the last of the stream, each cut to
# 256 bytes, which hold its header); and of the SPS round-trip target: the 16-bit length of the
# first VPS, the VPS and the first SPS (fuzz/hevc_slice_header.cpp, fuzz/hevc_sps_round_trip.cpp).
python3 - "$OUT/../../../fuzz/corpus" "$OUT"/*.hevc <<'PY'
import os, re, struct, sys
corpus = sys.argv[1]
for target in ("hevc_slice_header", "hevc_sps_round_trip"):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    units = [u.rstrip(b"\0") for u in re.split(b"\0\0\1", data)[1:]]
    first = {}
    for u in units:
        first.setdefault((u[0] >> 1) & 0x3F, u)
    vps, sps, pps = first[32], first[33], first[34]
    slices = [u for u in units if (u[0] >> 1) & 0x3F in set(range(10)) | set(range(16, 22))]
    name = os.path.splitext(os.path.basename(path))[0]
    for k, u in enumerate(slices[:2] + slices[-1:]):
        with open(os.path.join(corpus, "hevc_slice_header", "%s_%d" % (name, k)), "wb") as f:
            f.write(struct.pack(">HHH", len(vps), len(sps), len(pps)) + vps + sps + pps + u[:256])
    with open(os.path.join(corpus, "hevc_sps_round_trip", name), "wb") as f:
        f.write(struct.pack(">H", len(vps)) + vps + sps)
PY
ls -l "$OUT" "$SEEDS"
