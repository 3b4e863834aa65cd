// Packets converted between framings. Real streams, with FFmpeg as the oracle: every sample
// stream in an MP4 that ffmpeg writes, converted packet by packet to Annex B, then to 2-byte and
// 4-byte lengths behind our own records (MP4s written by libavformat), then to Annex B again, must
// decode to the MP4's frames at every stage; the first Annex B stage must hold, packet by packet,
// the units FFmpeg's mp4toannexb filters give wherever both insert the configuration alike.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCStreams.h"
#include "support/HostFakes.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using testing_support::RunCommand;
using Bytes = std::vector<uint8_t>;
using PacketPtr = boost::intrusive_ptr<Orvane::Proc::IDataPacket>;

std::vector<Bytes> AnnexBUnits(const uint8_t* data, size_t size) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(data, size, nalus);
  std::vector<Bytes> units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}

std::vector<std::string> FrameHashes(const std::string& input) {
  // Every coded frame, whatever the container's edit list or timing says.
  const char* mp4 = input.ends_with(".mp4") ? " -ignore_editlist 1" : "";
  std::istringstream lines(RunCommand("ffmpeg -nostdin -v error" + std::string(mp4) + " -i '" + input +
                                      "' -fps_mode passthrough -f framemd5 - 2>&1"));
  std::vector<std::string> hashes;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(' ') + 1));
  }
  return hashes;
}

struct Track {
  std::shared_ptr<AVCodecParameters> par{avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); }};
  AVRational timeBase{};
  std::vector<PacketPtr> packets;
};

Track Demux(const std::string& path) {
  AVFormatContext* in = nullptr;
  AVDictionary* everySample = nullptr;
  av_dict_set(&everySample, "ignore_editlist", "1", 0);
  Track track;
  EXPECT_EQ(avformat_open_input(&in, path.c_str(), nullptr, &everySample), 0);
  av_dict_free(&everySample);
  if (!in) return track;
  avcodec_parameters_copy(track.par.get(), in->streams[0]->codecpar);
  track.timeBase = in->streams[0]->time_base;
  for (AVPacket* p = av_packet_alloc(); av_read_frame(in, p) == 0; p = av_packet_alloc()) {
    track.packets.push_back(Orvane::Proc::DataPacketFF::Create(p, 1, p->pts, p->dts, p->duration));
  }
  avformat_close_input(&in);
  return track;
}

// An MP4 of the track's packets behind `record`, the configuration they are framed by.
void Mux(const std::string& path, const Track& track, const ConstBlobPtr& record) {
  AVFormatContext* out = nullptr;
  ASSERT_EQ(avformat_alloc_output_context2(&out, nullptr, "mp4", path.c_str()), 0);
  AVStream* stream = avformat_new_stream(out, nullptr);
  avcodec_parameters_copy(stream->codecpar, track.par.get());
  av_freep(&stream->codecpar->extradata);
  stream->codecpar->extradata = static_cast<uint8_t*>(av_mallocz(record->GetSize() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy_n(record->GetData(), record->GetSize(), stream->codecpar->extradata);
  stream->codecpar->extradata_size = static_cast<int>(record->GetSize());
  stream->time_base = track.timeBase;
  ASSERT_GE(avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_EQ(avformat_write_header(out, nullptr), 0);
  for (const PacketPtr& packet : track.packets) {
    AVPacket* p = av_packet_clone(packet->GetAVPacket());
    av_packet_rescale_ts(p, track.timeBase, stream->time_base);
    EXPECT_EQ(av_interleaved_write_frame(out, p), 0);
    av_packet_free(&p);
  }
  av_write_trailer(out);
  avio_closep(&out->pb);
  avformat_free_context(out);
}

// The packets after FFmpeg's filter, one output per input.
std::vector<std::vector<Bytes>> FFmpegAnnexB(const Track& track, const char* filterName) {
  AVBSFContext* bsf = nullptr;
  av_bsf_alloc(av_bsf_get_by_name(filterName), &bsf);
  avcodec_parameters_copy(bsf->par_in, track.par.get());
  bsf->time_base_in = track.timeBase;
  EXPECT_EQ(av_bsf_init(bsf), 0);
  std::vector<std::vector<Bytes>> packets;
  AVPacket* p = av_packet_alloc();
  for (const PacketPtr& packet : track.packets) {
    av_packet_ref(p, packet->GetAVPacket());
    EXPECT_EQ(av_bsf_send_packet(bsf, p), 0);
    EXPECT_EQ(av_bsf_receive_packet(bsf, p), 0);
    packets.push_back(AnnexBUnits(p->data, p->size));
    av_packet_unref(p);
  }
  av_packet_free(&p);
  av_bsf_free(&bsf);
  return packets;
}

// isRandomAccess: the unit before which FFmpeg's filter puts the configuration (IDR, IRAP).
struct Codec {
  const char* filterName;
  uint32_t (*type)(const NALU&);
  std::pair<uint32_t, uint32_t> randomAccess, parameterSets;  // nal_unit_type ranges
  bool Is(const NALU& n, std::pair<uint32_t, uint32_t> range) const { return type(n) >= range.first && type(n) <= range.second; }
};

// Returns how many packets were compared with FFmpeg's.
template <class Parser>
size_t RoundTrip(const std::filesystem::path& stream, const Codec& codec) {
  SCOPED_TRACE(stream.filename());
  testing_support::TempDir dir;
  const std::string mp4 = (dir / "source.mp4").string();
  RunCommand("ffmpeg -nostdin -v error -r 25 -i '" + stream.string() + "' -c copy '" + mp4 + "'");
  const std::vector<std::string> frames = FrameHashes(mp4);
  EXPECT_FALSE(frames.empty());
  Track track = Demux(mp4);
  const auto mp4Config = Parser::CreateFromCodecConfiguration(
      Orvane::Proc::BlobFF::Create(track.par->extradata, static_cast<size_t>(track.par->extradata_size)));
  // In-band parameter sets dropped, so that every key frame needs the configuration in front.
  const NaluFilter dropParameterSets = [&](const NALU& n, H26xBitstreamBuilder&) { return codec.Is(n, codec.parameterSets) ? 0 : 1; };
  for (PacketPtr& packet : track.packets) packet = ConvertPacketFromSourceToDestinationFormat(packet, mp4Config, mp4Config, dropParameterSets);
  const auto theirs = FFmpegAnnexB(track, codec.filterName);

  const auto annexB = mp4Config->ToAnnexB();
  const ConstBlobPtr twoByte = MakeLengthPrefixedBlob(annexB->nalus(), 2);
  const std::pair<const char*, std::shared_ptr<Parser>> stages[] = {
      {"annexb.raw", annexB},
      {"2-byte.mp4", Parser::CreateFromLengthPrefixed(twoByte->GetData(), twoByte->GetSize(), 2)},
      {"4-byte.mp4", Parser::CreateFromAnnexB(annexB->source()->GetData(), annexB->source()->GetSize())},
      {"again.raw", annexB}};
  std::shared_ptr<Parser> from = mp4Config;
  size_t compared = 0;
  for (const auto& [name, to] : stages) {
    SCOPED_TRACE(name);
    const std::string path = (dir / name).string();
    std::ofstream raw(path, std::ios::binary);
    for (size_t i = 0; i < track.packets.size(); ++i) {
      const auto source = from->ParsePacket(track.packets[i]->GetBlob());
      track.packets[i] = ConvertPacketFromSourceToDestinationFormat(track.packets[i], from, to, nullptr);
      if (to->nalLengthSize()) continue;
      const ConstBlobPtr blob = track.packets[i]->GetBlob();
      raw.write(reinterpret_cast<const char*>(blob->GetData()), static_cast<std::streamsize>(blob->GetSize()));
      // We insert for a key frame, FFmpeg before the first random-access unit: compare where
      // that is the same.
      const auto& units = source->nalus();
      const bool ra = std::any_of(units.begin(), units.end(), [&](const NALU& n) { return codec.Is(n, codec.randomAccess); });
      if (from != mp4Config || track.packets[i]->IsKeyFrame() != ra || (ra && !codec.Is(units[0], codec.randomAccess))) continue;
      EXPECT_EQ(AnnexBUnits(blob->GetData(), blob->GetSize()), theirs[i]) << "packet " << i;
      ++compared;
    }
    raw.close();
    if (to->nalLengthSize()) Mux(path, track, to->source());
    EXPECT_EQ(FrameHashes(path), frames);
    from = to;
  }
  return compared;
}

TEST(PacketConversion, SampleStreamsDecodeAlikeInEveryFraming) {
  size_t compared = 0;
  for (const auto& stream : codec_test::SampleStreams(H264_TEST_STREAMS, ".h264")) {
    compared += RoundTrip<H264Parser>(stream, {"h264_mp4toannexb", H264NaluType, {5, 5}, {7, 8}});
  }
  EXPECT_GT(compared, 40u);
  compared = 0;
  for (const auto& stream : codec_test::SampleStreams(HEVC_TEST_STREAMS)) {
    compared += RoundTrip<HEVCParser>(stream, {"hevc_mp4toannexb", HEVCNaluType, {16, 23}, {32, 34}});
  }
  EXPECT_GT(compared, 40u);
}

}  // namespace
