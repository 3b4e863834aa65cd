// Muxing one large picture through the loaded plug-in, next to a plain copy of the same bytes
// to a file, with the time and the peak memory that each costs. The picture is an 8K intra frame
// of noise, coded by x265 at QP 0 (tens of MB); it is made on first use and kept next to the
// binary (ORVANE_MUX_BENCH_STREAM overrides the path).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" {
#include <libavcodec/packet.h>
}

#include "BenchSupport.h"
#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"
#include "Orvane/Proc/Muxer.h"

namespace {

namespace cp = Orvane::Proc::CodecParsers;

// The picture as the host hands it over: codec private data and a 4-byte length-prefixed packet.
struct Picture {
  Orvane::BlobPtr configuration;
  std::vector<uint8_t> packet;
  uint32_t width = 0, height = 0;

  static const Picture& Get() {
    static const Picture picture = Load();
    return picture;
  }

 private:
  static Picture Load() {
    const std::vector<uint8_t> stream =
        bench_support::LoadOrMakeStream(ORVANE_MUX_BENCH_STREAM_DEFAULT, "ORVANE_MUX_BENCH_STREAM",
                                        bench_support::kMake8KNoisePicture);
    const auto blob = Orvane::Proc::BlobFF::Create(stream.data(), stream.size());

    auto parser = std::make_shared<cp::HEVCParser>(false);
    parser->ParsePacketData(blob, std::nullopt);
    std::vector<cp::NALU> parameterSets, picture;
    for (const cp::NALU& nalu : parser->nalus()) {
      const uint32_t type = cp::HEVCNaluType(nalu);
      (type >= 32 && type <= 34 ? parameterSets : picture).push_back(nalu);
    }
    Picture p;
    p.configuration = cp::MakeAnnexBBlob(parameterSets);
    const auto ps = cp::HEVCParser::CreateFromCodecConfiguration(p.configuration)->GetParameterSets();
    std::tie(p.width, p.height) = ps->sps_list.front()->GetPictureSize();
    const cp::BlobMp4Maker maker(4, picture);
    p.packet.resize(maker.TotalSize());
    maker.Write(p.packet.data());
    return p;
  }
};

// Peak resident memory while `run` works, above what was resident before it.
template <class F>
double PeakMegabytes(F&& run) {
  auto read = [](const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) / 1024.0;
    return 0.0;
  };
  std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
  const double before = read("VmRSS:");
  run();
  return read("VmHWM:") - before;
}

class Registry : public Orvane::IRegistry {
 public:
  void RegisterMuxerCreator(const boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>& c) override {
    creators.push_back(c);
  }
  std::vector<boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>> creators;
};

Orvane::Proc::IMuxerCreator& Creator() {
  static Registry registry = [] {
    Registry r;
    void* plugin = dlopen(MUXERHEIF_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
      std::cerr << dlerror() << "\n";
      std::exit(1);
    }
    reinterpret_cast<Orvane::Proc::RegistratorFunction>(dlsym(plugin, "Registrator"))(&r);
    return r;
  }();
  return *registry.creators.back();
}

const std::filesystem::path kOutput = std::filesystem::temp_directory_path() / "orvane-mux-bench.heic";

// Peaks of the two steps that hold the picture more than once: storing it, and writing the file.
double writePeak = 0, closePeak = 0;

// What a host does for one file: create, add the stream, header, the picture, close, release.
// The release closes once more, so the file is serialised and written twice.
void MuxOnce(const Picture& p) {
  AVPacket* packet = Orvane::Proc::CreatePacket(p.packet.size());
  std::memcpy(packet->data, p.packet.data(), p.packet.size());
  auto data = Orvane::Proc::DataPacketFF::Create(packet, 0, 0, 0, 0);
  auto codec = Orvane::Conf::FormatCodecVideo::Create(p.width, p.height);
  codec->SetPrivateData(p.configuration);
  auto muxer = Creator().CreateMuxer(Orvane::Conf::FormatFile::Create("heic"),
                                     Orvane::Proc::DataOutput::Create(Orvane::ioPath(kOutput)));
  const uint32_t id = muxer->AddStream(codec);
  muxer->WriteHeader(1);
  writePeak = std::max(writePeak, PeakMegabytes([&] { muxer->Write(id, data); }));
  data.reset();
  closePeak = std::max(closePeak, PeakMegabytes([&] { muxer->Close(); }));
}

void CopyOnce(const Picture& p) {
  std::ofstream out(kOutput, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(p.packet.data()), static_cast<std::streamsize>(p.packet.size()));
}

template <void (*Run)(const Picture&)>
void BM_Output(benchmark::State& state) {
  const Picture& p = Picture::Get();
  double peak = 0;
  for (auto _ : state) peak = std::max(peak, PeakMegabytes([&] { Run(p); }));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.packet.size()));
  state.counters["picture_MB"] = static_cast<double>(p.packet.size()) / (1 << 20);
  state.counters["peak_MB"] = peak;
  state.counters["peak_per_picture"] = peak / (static_cast<double>(p.packet.size()) / (1 << 20));
  if (Run == MuxOnce) {
    state.counters["write_peak_MB"] = writePeak;
    state.counters["close_peak_MB"] = closePeak;
  }
}

// Big buffers straight from and back to the system, so that the peak of each run is its own.
const int kMallocSetup = [] {
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
  return 0;
}();

// The console report, and the table's row: the mux against the copy, in real time (both write a
// file, whose waits are part of the cost).
class SummaryReporter : public bench_support::RunTimesReporter {
 public:
  void PrintSummary() const {
    const double mux = RealSeconds("MuxThroughPlugin/real_time"), copy = RealSeconds("PlainCopyToFile/real_time");
    if (mux == 0 || copy == 0) return;
    std::printf("\n");
    bench_support::PrintTableRow("Muxing a raw 8K picture through the plug-in (real time)",
                                 "the plug-in " + bench_support::FormatSeconds(mux),
                                 "a copy to a file " + bench_support::FormatSeconds(copy), mux / copy);
  }
};

}  // namespace

BENCHMARK(BM_Output<MuxOnce>)->Name("MuxThroughPlugin")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Output<CopyOnce>)->Name("PlainCopyToFile")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) { return bench_support::RunWithSummary<SummaryReporter>(argc, argv); }
