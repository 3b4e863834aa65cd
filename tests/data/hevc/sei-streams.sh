#!/usr/bin/env bash
# Makes, at test time, the HEVC streams whose SEI units the SEI test decodes, and next to each one
# its oracle: FFmpeg's trace_headers listing of its SEI units in NAME.sei. The sample streams of
# this folder that carry SEI units are traced into the same folder as well.
#
#   bash tests/data/hevc/sei-streams.sh OUTDIR [FUZZ-SEED-DIR]
#
# In the oracle the message headings are dropped, the 0xFF-extended payloadType and payloadSize
# bytes are summed into one element each, the payload alignment bits are left out, and fields are
# kept only for the payload types the SEI decode reads. user_data_payload_byte is numbered from the
# payload's first byte, as the syntax counts it (FFmpeg counts from the first byte after the UUID).
# FFmpeg 5.1 traces the ambient viewing environment as bare bytes; they are put together into its
# three fields here.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
OUT=$1
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# x265cli NAME PIXFMT OPTIONS...: three 64x64 testsrc2 pictures through the x265 command line.
x265cli() {
  local name=$1 pixfmt=$2
  shift 2
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=64x64:rate=25 -frames:v 3 \
    -pix_fmt "$pixfmt" -f rawvideo "$TMP/$name.yuv"
  timeout 120 x265 --input "$TMP/$name.yuv" --input-res 64x64 --fps 25 --frames 3 --frame-threads 1 \
    --no-wpp --no-progress --log-level error "$@" -o "$OUT/$name.hevc"
}

# HDR10: mastering display and content light level, MD5 picture hashes.
x265cli hdr10_md5 yuv420p10le --input-depth 10 --output-depth 10 --colorprim bt2020 --transfer smpte2084 \
  --colormatrix bt2020nc --master-display 'G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)' \
  --max-cll 1000,400 --hash 1 --no-info
# HLG with the alternative transfer characteristics, CRC hashes and x265's own information message
# (user data unregistered, over 2000 bytes).
x265cli atc_crc_info yuv420p10le --input-depth 10 --output-depth 10 --transfer bt2020-10 --atc-sei 18 --hash 2
# Monochrome with checksums (one component hashed), parameter sets and recovery points at every
# keyframe.
x265cli mono_checksum_repeat gray --input-csp i400 --hash 3 --repeat-headers --idr-recovery-sei --keyint 1 --no-info
# User data registered (with and without the country code extension) from x265's SEI file, then
# one prefix SEI unit of two messages put in before the first slice: a time code of two clock
# timestamps (a full one with a negative offset, a partial one) and an ambient viewing environment.
printf '0 PREFIX 39/4 /xK1ADFH\n1 PREFIX 39/4 tQAxR0E5\n' >"$TMP/sei.txt"
x265cli user_data_time_code yuv420p --nalu-file "$TMP/sei.txt" --bframes 0 --no-info
python3 - "$OUT/user_data_time_code.hevc" <<'PY'
import re, sys
path = sys.argv[1]
data = open(path, "rb").read()
time_code = bytes.fromhex("a25965469cbdc080bee00f3a")
ambient = bytes.fromhex("0001d4c03d1340a1")
rbsp = bytes([136, len(time_code)]) + time_code + bytes([148, len(ambient)]) + ambient + b"\x80"
unit, zeros = bytearray(), 0
for b in rbsp:
    if zeros >= 2 and b <= 3:
        unit.append(3)
        zeros = 0
    unit.append(b)
    zeros = zeros + 1 if b == 0 else 0
at = re.search(b"\x00\x00\x01[\x26\x28]", data).start()  # the first IDR slice
open(path, "wb").write(data[:at] + b"\x00\x00\x01" + bytes([39 << 1, 1]) + bytes(unit) + data[at:])
PY

for f in "$HERE"/*.hevc "$OUT"/*.hevc; do
  ffmpeg -nostdin -hide_banner -i "$f" -c copy -bsf:v trace_headers -f null - 2>&1 |
    sed -n 's/^\[trace_headers @ [^]]*\] //p' |
    awk '
      /^Extradata/ { skip = 1; next }
      /^Packet:/ { skip = 0; sei = 0; next }
      skip { next }
      /^(Prefix|Suffix) Supplemental Enhancement Information$/ { sei = 1; ff = 0; type = -1; print; next }
      sei && /^[A-Za-z]/ { if (heading) { heading = 0; next } sei = 0 }
      !sei { next }
      { heading = 0 }
      $2 == "ff_byte" { ff += 255; next }
      $2 == "last_payload_type_byte" { type = ff + $NF; ff = 0; print $1, "payloadType", type; next }
      $2 == "last_payload_size_byte" { print $1, "payloadSize", ff + $NF; ff = 0; heading = 1; n = 0; next }
      $2 ~ /^(bit_equal_to_|rbsp_)/ { next }
      type == 5 && $2 ~ /^user_data_payload_byte\[/ {
        i = substr($2, 24) + 16; print $1, "user_data_payload_byte[" i "]", $NF; next
      }
      type == 148 && $2 ~ /^payload_byte\[/ {
        b[n++] = $NF
        if (n == 8) {
          print $1, "ambient_illuminance", ((b[0] * 256 + b[1]) * 256 + b[2]) * 256 + b[3]
          print $1, "ambient_light_x", b[4] * 256 + b[5]
          print $1, "ambient_light_y", b[6] * 256 + b[7]
        }
        next
      }
      type ~ /^(4|5|6|132|136|137|144|147)$/ || $2 ~ /^(forbidden_zero_bit|nal_unit_type|nuh_)/ { print $1, $2, $NF }
    ' >"$OUT/$(basename "${f%.hevc}").sei"
done

# With a second argument, every distinct SEI unit of these streams becomes a seed of the SEI fuzz
# target there, behind the byte that chooses the SPS in force (fuzz/hevc_sei.cpp): 2, a 4:2:0 one.
if [[ $# -ge 2 ]]; then
  mkdir -p "$2"
  python3 - "$2" "$HERE"/*.hevc "$OUT"/*.hevc <<'PY'
import hashlib, os, re, sys
for path in sys.argv[2:]:
    for u in re.split(b"\0\0\1", open(path, "rb").read())[1:]:
        u = u.rstrip(b"\0")
        if (u[0] >> 1) & 0x3F in (39, 40):
            open(os.path.join(sys.argv[1], hashlib.sha1(u).hexdigest()[:16]), "wb").write(b"\2" + u)
PY
fi
