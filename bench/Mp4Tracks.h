#pragma once
// What the benchmarks over MP4 packets share: every packet of a 1080p x264 and a 1080p x265 MP4 of
// tens of megabytes, read with libavformat into host packets, with the track's codec parameters
// and its configuration parser.
//
// The MP4 files are made with ffmpeg on first use and kept next to the binaries;
// ORVANE_CONVERSION_BENCH_H264 and ORVANE_CONVERSION_BENCH_HEVC name other MP4 files.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "BenchSupport.h"
#include "Orvane/Proc/Data.h"

namespace bench_support {

using PacketPtr = boost::intrusive_ptr<Orvane::Proc::IDataPacket>;

// 20 seconds of 1080p at 30 pictures a second and 16 Mbit/s, B-frames, a key frame every two
// seconds: about 40 MB in some 600 packets.
#define ORVANE_MAKE_MP4_TRACK(encoder, params)                                                                   \
  "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -frames:v 600 " \
  "-pix_fmt yuv420p -c:v " encoder " -preset ultrafast -b:v 16M -g 60 -bf 3 " params " -f mp4"

struct Track {
  AVCodecParameters* par = avcodec_parameters_alloc();
  std::vector<PacketPtr> packets;
  uint64_t bytes = 0;
};

inline Track LoadTrack(const char* defaultPath, const char* variable, const char* command) {
  const std::string path = StreamPath(defaultPath, variable, command).string();
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) != 0 || avformat_find_stream_info(in, nullptr) < 0) {
    std::cerr << "cannot read " << path << "\n";
    std::exit(1);
  }
  Track track;
  avcodec_parameters_copy(track.par, in->streams[0]->codecpar);
  for (AVPacket* p = av_packet_alloc(); av_read_frame(in, p) == 0 || (av_packet_free(&p), false); p = av_packet_alloc()) {
    track.bytes += static_cast<uint64_t>(p->size);
    track.packets.push_back(Orvane::Proc::DataPacketFF::Create(p, 1, p->pts, p->dts, p->duration));
  }
  avformat_close_input(&in);
  return track;
}

inline const Track& H264Track() {
  static const Track track = LoadTrack(ORVANE_CONVERSION_BENCH_H264_DEFAULT, "ORVANE_CONVERSION_BENCH_H264",
                                       ORVANE_MAKE_MP4_TRACK("libx264", "-x264-params log-level=error"));
  return track;
}

inline const Track& HEVCTrack() {
  static const Track track = LoadTrack(ORVANE_CONVERSION_BENCH_HEVC_DEFAULT, "ORVANE_CONVERSION_BENCH_HEVC",
                                       ORVANE_MAKE_MP4_TRACK("libx265", "-tag:v hvc1 -x265-params log-level=error"));
  return track;
}

// The whole track's bytes and packets, once per iteration.
inline void CountTrack(benchmark::State& state, const Track& track) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * track.bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * track.packets.size()));
}

// The track's configuration parser, over its avcC or hvcC record.
template <class Parser>
std::shared_ptr<Parser> Configuration(const Track& track) {
  return Parser::CreateFromCodecConfiguration(
      Orvane::Proc::BlobFF::Create(track.par->extradata, static_cast<size_t>(track.par->extradata_size)));
}

}  // namespace bench_support
