#!/usr/bin/env bash
# Makes the small H.264 streams that the parameter-set, slice-header and SEI tests decode, and next
# to each one the oracles: FFmpeg's trace_headers listing of its SPS and PPS units in NAME.trace, of
# its slice headers in NAME.slices and of its SEI units in NAME.sei (the extradata copy that the
# demuxer also traces is left out, so the sections follow the stream's units in order); and
# ffprobe's picture sizes of all of them in sizes.txt.
#
# Needs x264 and ffmpeg (scripts/setup.sh installs both). Run from anywhere:
#   bash tests/data/h264/make-streams.sh
# The raw pictures come from ffmpeg's testsrc2 and every encode is single-threaded, so running it
# again with the same tool versions gives the same bytes.
set -euo pipefail
OUT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
source "$OUT/../trace-headers.sh"

# enc NAME WxH FRAMES PIXFMT X264-OPTIONS...: testsrc2 pictures of that size and pixel format
# (through the ffmpeg filter in $VF, if set) through the x264 command-line encoder into NAME.h264.
enc() {
  local name=$1 size=$2 frames=$3 pixfmt=$4
  shift 4
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" -vf "${VF:-null}" \
    -frames:v "$frames" -pix_fmt "$pixfmt" -f yuv4mpegpipe -strict -1 "$TMP/$name.y4m"
  if ! timeout 120 x264 --log-level error --no-progress --threads 1 --demuxer y4m "$@" -o "$OUT/$name.h264" \
      "$TMP/$name.y4m" 2>"$TMP/x264.log"; then
    cat "$TMP/x264.log" >&2
    exit 1
  fi
}

# Baseline (POC type 2, no B-frames, CAVLC), constrained so that its PPS stops before the High
# fields; an odd size gives a frame cropping on the right and at the bottom.
enc baseline_crop 90x50 3 yuv420p --profile baseline --level 1b --keyint 2 --ref 2

# Main, CABAC with B-frames, weighted prediction; the SPS and PPS with id 5 and a picture timing
# rate of 30000/1001.
enc main_ids 64x48 4 yuv420p --profile main --bframes 2 --weightp 2 --sps-id 5 --fps 30000/1001 \
  --no-8x8dct

# High: 8x8 transform, NAL HRD with its timing, picture structure, and the whole video signal
# description: extended SAR, overscan, PAL format, full range, BT.709 colour, chroma location.
enc high_hrd_colour 64x48 3 yuv420p --profile high --bitrate 200 --vbv-maxrate 200 \
  --vbv-bufsize 400 --nal-hrd vbr --pic-struct --sar 40:33 --overscan show --videoformat pal \
  --range pc --colorprim bt709 --transfer bt709 --colormatrix bt709 --chromaloc 1

# High 10 with a bitstream-level crop on every side.
enc high10_croprect 64x64 2 yuv420p10le --output-depth 10 --crop-rect 2,4,6,8

# High 4:2:2, 10-bit.
enc high422_10 64x48 2 yuv422p10le --output-csp i422 --output-depth 10

# High 4:4:4 Predictive, lossless (qpprime_y_zero_transform_bypass_flag) at an odd size (x264
# cuts it from an even picture, which is what testsrc2 makes), so that the 4:4:4 crop unit of one
# sample shows.
enc high444_lossless 64x46 2 yuv444p --output-csp i444 --qp 0 --vf crop:0,0,1,1

# Monochrome (High, chroma_format_idc 0).
enc mono_400 64x48 2 gray --output-csp i400

# Interlaced: MBAFF, and frames flagged as field-capable (PAFF) but coded progressive; the height
# of the latter is cropped in units of a field pair.
enc mbaff 64x64 2 yuv420p --interlaced --tff
enc paff_crop 64x72 2 yuv420p --fake-interlaced --tff

# The JVT default matrices, which x264 signals as a PPS matrix whose lists all fall back.
enc cqm_jvt 64x48 2 yuv420p --cqm jvt

# Custom matrices from a JM-style file, in a 4:4:4 PPS (twelve lists): lists coded in full, lists
# equal to the one they fall back to (not present), and chroma lists equal to the default tables
# (coded as "use the default").
python3 - "$TMP/cqm.txt" <<'PY'
import random, sys
random.seed(11)
jvt4 = {"INTRA": [6, 13, 20, 28, 13, 20, 28, 32, 20, 28, 32, 37, 28, 32, 37, 42],
        "INTER": [10, 14, 20, 24, 14, 20, 24, 27, 20, 24, 27, 30, 24, 27, 30, 34]}
out = []
def emit(name, values):
    out.append(name + " =")
    row = 8 if len(values) == 64 else 4
    out.extend(",".join(map(str, values[r:r + row])) for r in range(0, len(values), row))
def rand(n, base):
    return [max(4, min(255, base + (i % 8 + i // 8) * 2 + random.randint(-3, 5))) for i in range(n)]
luma4i = rand(16, 12)
emit("INTRA4X4_LUMA", luma4i)
emit("INTRA4X4_CHROMAU", jvt4["INTRA"])
emit("INTRA4X4_CHROMAV", jvt4["INTRA"])
emit("INTER4X4_LUMA", rand(16, 14))
emit("INTER4X4_CHROMAU", rand(16, 18))
emit("INTER4X4_CHROMAV", rand(16, 18))
emit("INTRA8X8_LUMA", rand(64, 8))
emit("INTER8X8_LUMA", rand(64, 10))
emit("INTRA8X8_CHROMAU", rand(64, 20))
emit("INTRA8X8_CHROMAV", rand(64, 20))
emit("INTER8X8_CHROMAU", rand(64, 24))
emit("INTER8X8_CHROMAV", rand(64, 24))
open(sys.argv[1], "w").write("\n".join(out) + "\n")
PY
enc cqmfile_444 64x48 2 yuv444p --output-csp i444 --cqmfile "$TMP/cqm.txt"

# Through ffmpeg's libx264 wrapper: High with a VUI that carries BT.601 colour and a SAR of 12:11,
# no bitstream restriction beyond what x264 writes, and repeated parameter sets before each
# keyframe.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=96x64:rate=25 \
  -frames:v 4 -vf setsar=12/11 -pix_fmt yuv420p -c:v libx264 -crf 30 -g 2 -color_primaries smpte170m \
  -color_trc smpte170m -colorspace smpte170m \
  -x264-params 'threads=1:repeat-headers=1:bframes=1:b-pyramid=none' -f h264 "$OUT/ffmpeg_high_repeat.h264"

# Slices, SEI and their reference structures, for the slice-header and SEI tests.
# CABAC B-pyramid over four references with list modification and marking operations, two slices
# per picture; a fade from black, so that P slices carry explicit luma and chroma weights.
VF=fade=in:0:20 enc pyramid_weighted 64x48 20 yuv420p --bframes 3 --b-pyramid normal --ref 4 --weightp 2 \
  --keyint 10 --slices 2
# CAVLC, three slices per picture, open GOP (recovery point SEI on its I pictures), implicit
# weighted B prediction.
enc cavlc_open_gop 64x48 20 yuv420p --no-cabac --bframes 2 --open-gop --keyint 8 --slices 3 --weightb \
  --ref 3
# Periodic intra refresh instead of keyframes (recovery point SEI), no B-frames: POC type 2.
enc intra_refresh 64x48 12 yuv420p --intra-refresh --keyint 6 --bframes 0 --ref 1
# MBAFF over sixteen reference frames (up to fifteen active), B-frames and weighted P prediction:
# long lists, bottom-field POC deltas.
enc mbaff_refs16 32x32 40 yuv420p --interlaced --tff --ref 16 --bframes 1 --weightp 1 --keyint 40
# HDR SEI (mastering display colour volume, content light level) beside the NAL HRD's buffering
# period and picture timing; FFmpeg's h264_metadata then adds a user-data message and a display
# orientation to the first SEI unit of each access unit, so that units hold several messages.
enc hdr_sei 64x48 6 yuv420p10le --output-depth 10 --nal-hrd vbr --bitrate 300 --vbv-maxrate 500 \
  --vbv-bufsize 1000 --bframes 1 --mastering-display \
  'G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)' --cll 1000,400
ffmpeg -nostdin -hide_banner -loglevel error -y -i "$OUT/hdr_sei.h264" -c copy -bsf:v \
  'h264_metadata=sei_user_data=086f3693-b7b3-4f2c-9653-21492feee5b8+orvane:display_orientation=insert:rotate=90' \
  -f h264 "$TMP/hdr_sei.h264"
mv "$TMP/hdr_sei.h264" "$OUT/hdr_sei.h264"

# The oracles: trace_headers of the parameter sets in NAME.trace, of the slice headers in
# NAME.slices and of the SEI units in NAME.sei; ffprobe's picture size of every stream in sizes.txt
# ("NAME WIDTH HEIGHT"). In the SEI sections the message headings are
# dropped, the 0xFF-extended payloadType and payloadSize bytes are summed into one element each, and
# the fields are kept only for the messages the SEI decode reads: recovery point (6), mastering
# display colour volume (137), content light level (144); their payload extension bits are left out.
for f in "$OUT"/*.h264; do
  trace_sections "$f" "(Sequence|Picture) Parameter Set" >"${f%.h264}.trace"
  trace_sections "$f" "Slice Header" >"${f%.h264}.slices"
  ffmpeg -nostdin -hide_banner -i "$f" -c copy -bsf:v trace_headers -f null - 2>&1 |
    sed -n 's/^\[trace_headers @ [^]]*\] //p' |
    awk '
      /^Extradata/ { skip = 1; next }
      /^Packet:/ { skip = 0; sei = 0; next }
      skip { next }
      /^Supplemental Enhancement Information$/ { sei = 1; ff = 0; type = -1; print; next }
      sei && /^[A-Za-z]/ { if (heading) { heading = 0; next } sei = 0 }
      !sei { next }
      { heading = 0 }
      $2 == "ff_byte" { ff += 255; next }
      $2 == "last_payload_type_byte" { type = ff + $NF; ff = 0; print $1, "payloadType", type; next }
      $2 == "last_payload_size_byte" { print $1, "payloadSize", ff + $NF; ff = 0; heading = 1; next }
      $2 ~ /^bit_equal_to_/ { next }
      type == 6 || type == 137 || type == 144 || $2 ~ /^(forbidden_zero_bit|nal_ref_idc|nal_unit_type|rbsp_)/ {
        print $1, $2, $NF
      }
    ' >"${f%.h264}.sei"
  echo "$(basename "$f" .h264) $(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$f" | tr , ' ')"
done >"$OUT/sizes.txt"

# Fuzz seeds from every stream: for the parameter-set target, the first SPS and PPS behind the
# 16-bit length of the SPS (fuzz/h264_parameter_sets.cpp); for the slice-header target, the same
# SPS and PPS behind their two 16-bit lengths, then a slice: the first, the second and the last of
# the stream, and the same inputs for the round-trip target; for the slice-type probe, those slices
# alone; for the SEI target, every distinct SEI unit.
FUZZ="$OUT/../../../fuzz/corpus"
SEEDS="$FUZZ/h264_parameter_sets"
mkdir -p "$SEEDS" "$FUZZ/h264_slice_header" "$FUZZ/h264_round_trip" "$FUZZ/h264_slice_type" "$FUZZ/h264_sei"
python3 - "$FUZZ" "$OUT"/*.h264 <<'PY'
import hashlib, os, re, struct, sys
fuzz = sys.argv[1]
def write(target, name, data):
    with open(os.path.join(fuzz, target, name), "wb") as f:
        f.write(data)
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    units = [u.rstrip(b"\0") for u in re.split(b"\0\0\1", data)[1:]]
    first = {}
    for u in units:
        first.setdefault(u[0] & 0x1F, u)
    sps, pps = first[7], first[8]
    name = os.path.splitext(os.path.basename(path))[0]
    write("h264_parameter_sets", name, struct.pack(">H", len(sps)) + sps + pps)
    slices = [u for u in units if 1 <= u[0] & 0x1F <= 5]
    for i, s in enumerate([slices[0], slices[1], slices[-1]]):
        for target in ("h264_slice_header", "h264_round_trip"):
            write(target, f"{name}-{i}", struct.pack(">HH", len(sps), len(pps)) + sps + pps + s)
        write("h264_slice_type", f"{name}-{i}", s)
    for u in units:
        if u[0] & 0x1F == 6:
            write("h264_sei", hashlib.sha1(u).hexdigest()[:16], u)
PY
ls -l "$OUT" "$SEEDS"
