// Every packet of a 1080p MP4 stream of tens of megabytes converted from 4-byte lengths to Annex B
// with ConvertPacketFromSourceToDestinationFormat, against FFmpeg's h264_mp4toannexb and
// hevc_mp4toannexb bitstream filters (libavcodec's av_bsf_* API) over the same packets in the same
// run; and back from Annex B to 4-byte lengths. Beside them, one memcpy of every packet's bytes:
// the floor for a conversion that copies each unit once. After the runs a summary prints the
// ratios.
//
// The streams (x264 and x265 in MP4) are made with ffmpeg on first use and kept next to the
// binary; ORVANE_CONVERSION_BENCH_H264 and ORVANE_CONVERSION_BENCH_HEVC name other MP4 files.
#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "BenchSupport.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using PacketPtr = boost::intrusive_ptr<Orvane::Proc::IDataPacket>;

// 20 seconds of 1080p at 30 pictures a second and 16 Mbit/s, B-frames, a key frame every two
// seconds: about 40 MB in some 600 packets.
#define MAKE_STREAM(encoder, params)                                                                              \
  "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -frames:v 600 " \
  "-pix_fmt yuv420p -c:v " encoder " -preset ultrafast -b:v 16M -g 60 -bf 3 " params " -f mp4"

struct Track {
  AVCodecParameters* par = avcodec_parameters_alloc();
  std::vector<PacketPtr> packets;
  uint64_t bytes = 0;
};

Track Load(const char* defaultPath, const char* variable, const char* command) {
  const std::string path = bench_support::StreamPath(defaultPath, variable, command).string();
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

const Track& H264Track() {
  static const Track track = Load(ORVANE_CONVERSION_BENCH_H264_DEFAULT, "ORVANE_CONVERSION_BENCH_H264",
                                  MAKE_STREAM("libx264", "-x264-params log-level=error"));
  return track;
}

const Track& HEVCTrack() {
  static const Track track = Load(ORVANE_CONVERSION_BENCH_HEVC_DEFAULT, "ORVANE_CONVERSION_BENCH_HEVC",
                                  MAKE_STREAM("libx265", "-tag:v hvc1 -x265-params log-level=error"));
  return track;
}

void Count(benchmark::State& state, const Track& track) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * track.bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * track.packets.size()));
}

template <class Parser>
std::shared_ptr<Parser> Configuration(const Track& track) {
  return Parser::CreateFromCodecConfiguration(
      Orvane::Proc::BlobFF::Create(track.par->extradata, static_cast<size_t>(track.par->extradata_size)));
}

template <class Parser>
void OursToAnnexB(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  const auto lengthPrefixed = Configuration<Parser>(track);
  const auto annexB = lengthPrefixed->ToAnnexB();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      benchmark::DoNotOptimize(ConvertPacketFromSourceToDestinationFormat(packet, lengthPrefixed, annexB, nullptr));
    }
  }
  Count(state, track);
}

template <class Parser>
void OursToLengthPrefixed(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  const auto lengthPrefixed = Configuration<Parser>(track);
  const auto annexB = lengthPrefixed->ToAnnexB();
  std::vector<PacketPtr> packets;
  for (const PacketPtr& packet : track.packets) {
    packets.push_back(ConvertPacketFromSourceToDestinationFormat(packet, lengthPrefixed, annexB, nullptr));
  }
  for (auto _ : state) {
    for (const PacketPtr& packet : packets) {
      benchmark::DoNotOptimize(ConvertPacketFromSourceToDestinationFormat(packet, annexB, lengthPrefixed, nullptr));
    }
  }
  Count(state, track);
}

void FFmpegToAnnexB(benchmark::State& state, const Track& (*stream)(), const char* filterName) {
  const Track& track = stream();
  AVBSFContext* bsf = nullptr;
  av_bsf_alloc(av_bsf_get_by_name(filterName), &bsf);
  avcodec_parameters_copy(bsf->par_in, track.par);
  if (av_bsf_init(bsf) < 0) state.SkipWithError("av_bsf_init failed");
  AVPacket* p = av_packet_alloc();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      av_packet_ref(p, packet->GetAVPacket());
      if (av_bsf_send_packet(bsf, p) < 0 || av_bsf_receive_packet(bsf, p) < 0) state.SkipWithError("filter failed");
      benchmark::DoNotOptimize(p->data);
      av_packet_unref(p);
    }
  }
  av_packet_free(&p);
  av_bsf_free(&bsf);
  Count(state, track);
}

// Every packet's bytes copied once into a new packet: what any conversion must at least do.
void CopyOnce(benchmark::State& state, const Track& (*stream)()) {
  const Track& track = stream();
  for (auto _ : state) {
    for (const PacketPtr& packet : track.packets) {
      const AVPacket* in = packet->GetAVPacket();
      AVPacket* out = Orvane::Proc::CreatePacket(static_cast<size_t>(in->size));
      std::memcpy(out->data, in->data, static_cast<size_t>(in->size));
      benchmark::DoNotOptimize(out->data);
      av_packet_free(&out);
    }
  }
  Count(state, track);
}

class SummaryReporter : public bench_support::CollectingReporter {
 public:
  // Of repeated runs, the median is kept.
  void Collect(const Run& run) override {
    if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") return;
    const std::string name = run.run_name.function_name;
    if (run.run_type == Run::RT_Aggregate || !seconds_.contains(name)) seconds_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
  }
  void PrintSummary() const {
    for (const std::string codec : {"h264", "hevc"}) {
      const auto ffmpeg = Time("FFmpegToAnnexB/" + codec);
      if (ffmpeg.first == 0) continue;
      std::cout << codec << ", against FFmpeg's " << codec << "_mp4toannexb (real time; CPU time):";
      for (const char* name : {"OursToAnnexB", "OursToLengthPrefixed", "CopyOnce"}) {
        const auto ours = Time(name + ("/" + codec));
        if (ours.first > 0) std::cout << "\n  " << name << " " << ours.first / ffmpeg.first << "; " << ours.second / ffmpeg.second;
      }
      std::cout << "\n  (target: OursToAnnexB at most 1)\n";
    }
  }

 private:
  std::pair<double, double> Time(const std::string& name) const {
    const auto it = seconds_.find(name);
    return it == seconds_.end() ? std::pair(0.0, 0.0) : it->second;
  }
  std::map<std::string, std::pair<double, double>> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  const auto add = [](const std::string& name, auto function, auto... arguments) {
    benchmark::RegisterBenchmark(name.c_str(), function, arguments...)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  add("OursToAnnexB/h264", OursToAnnexB<H264Parser>, &H264Track);
  add("FFmpegToAnnexB/h264", FFmpegToAnnexB, &H264Track, "h264_mp4toannexb");
  add("OursToLengthPrefixed/h264", OursToLengthPrefixed<H264Parser>, &H264Track);
  add("CopyOnce/h264", CopyOnce, &H264Track);
  add("OursToAnnexB/hevc", OursToAnnexB<HEVCParser>, &HEVCTrack);
  add("FFmpegToAnnexB/hevc", FFmpegToAnnexB, &HEVCTrack, "hevc_mp4toannexb");
  add("OursToLengthPrefixed/hevc", OursToLengthPrefixed<HEVCParser>, &HEVCTrack);
  add("CopyOnce/hevc", CopyOnce, &HEVCTrack);
  return bench_support::RunWithSummary<SummaryReporter>(argc, argv);
}
