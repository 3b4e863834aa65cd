# Sourced by the make-streams.sh scripts: FFmpeg's trace_headers listing of the sections of one
# stream whose heading matches a pattern, the oracle of the trace tests.
#
# trace_sections STREAM PATTERN: every section of STREAM headed by a line matching the extended
# regular expression PATTERN (e.g. "(Sequence|Picture) Parameter Set"), in stream order, without
# the extradata block that the demuxer also traces; each element as "bit-offset name value" (the
# log prefix and the column of coded bits dropped).
trace_sections() {
  local stream=$1 pattern=$2
  ffmpeg -nostdin -hide_banner -i "$stream" -c copy -bsf:v trace_headers -f null - 2>&1 |
    sed -n 's/^\[trace_headers @ [^]]*\] //p' |
    awk -v pattern="^($pattern)\$" '
      /^Extradata/ { skip = 1; next }
      /^Packet:/ { skip = 0; keep = 0; next }
      skip { next }
      $0 ~ pattern { keep = 1; print; next }
      /^[A-Za-z]/ { keep = 0; next }
      keep { print $1, $2, $NF }
    '
}
