#!/usr/bin/env bash
# Makes the small HEVC inputs of the heifmux end-to-end tests. Each holds a few frames of a
# synthetic picture, in a different container, framing, chroma format or bit depth.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
X265="log-level=error"

# 8-bit 4:2:0 in MP4: hvcC with 4-byte NAL lengths.
ff -f lavfi -i testsrc2=size=352x288:rate=25 -frames:v 3 -pix_fmt yuv420p \
   -c:v libx265 -x265-params "$X265" -tag:v hvc1 main8.mp4
# 10-bit 4:2:0, raw Annex B.
ff -f lavfi -i mandelbrot=size=320x240:rate=25 -frames:v 3 -pix_fmt yuv420p10le \
   -c:v libx265 -x265-params "$X265" -f hevc main10.hevc
# 10-bit 4:2:2 in Matroska (Annex B parameter sets in the codec private data are possible there).
ff -f lavfi -i testsrc2=size=256x160:rate=25 -frames:v 3 -pix_fmt yuv422p10le \
   -c:v libx265 -x265-params "$X265" yuv422p10.mkv
# 8-bit 4:4:4 in MPEG-TS, BT.709 colour in the VUI.
ff -f lavfi -i smptebars=size=320x192:rate=25 -frames:v 3 -pix_fmt yuv444p \
   -c:v libx265 -x265-params "$X265:colorprim=bt709:transfer=bt709:colormatrix=bt709" yuv444p.ts
# Monochrome, through the x265 command-line encoder.
ff -f lavfi -i testsrc2=size=192x128:rate=25 -frames:v 3 -pix_fmt gray -f rawvideo gray.yuv
x265 --log-level error --input gray.yuv --input-res 192x128 --fps 25 --input-csp i400 \
   --output-depth 8 -o mono.hevc
rm -f gray.yuv
# An odd size that needs a conformance window: 4:4:4 10-bit 201x113.
ff -f lavfi -i testsrc2=size=202x114:rate=25 -vf crop=201:113:0:0 -frames:v 3 -pix_fmt yuv444p10le \
   -f rawvideo odd.yuv
x265 --log-level error --input odd.yuv --input-res 201x113 --fps 25 --input-csp i444 \
   --input-depth 10 --output-depth 10 -o odd444p10.hevc
rm -f odd.yuv
