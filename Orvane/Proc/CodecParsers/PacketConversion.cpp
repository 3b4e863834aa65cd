#include "Orvane/Proc/CodecParsers/PacketConversion.h"

#include <optional>

extern "C" {
#include <libavcodec/packet.h>
}

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"

namespace Orvane::Proc::CodecParsers {

namespace {

constexpr char kFunction[] = "ConvertPacketFromSourceToDestinationFormat";
// The media type of the packets the conversion makes: video.
constexpr int32_t kMediaTypeVideo = 1;

struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using OwnedPacket = std::unique_ptr<AVPacket, PacketFree>;

// Both codecs convert the same way: only the parsers' own operations differ.
boost::intrusive_ptr<IDataPacket> Convert(const boost::intrusive_ptr<IDataPacket>& packet, const H26xParser& source,
                                          const H26xParser& destination, const NaluFilter& filter) {
  const std::optional<uint64_t>& from = source.nalLengthSize();
  const std::optional<uint64_t>& to = destination.nalLengthSize();
  // Equal framing needs no rewrite, except for an Annex B key frame, which may need parameter
  // sets. Length fields of another width are rewritten, or the destination would misread them.
  const bool sameFraming = from == to;
  if (sameFraming && !filter && (!packet->IsKeyFrame() || to)) return packet;

  const std::shared_ptr<H26xParser> parsed = source.ParsePacket(packet->GetBlob());
  // Without a filter every unit stays as it is; no list of them is made.
  std::optional<FilteredNalus> filtered;
  if (filter) filtered.emplace(parsed->nalus(), filter);
  const std::vector<NALU>& units = filtered ? filtered->nalus : parsed->nalus();
  const bool modified = filtered && filtered->modified;

  OwnedPacket out;
  if (to) {
    if (sameFraming && !modified) return packet;
    const BlobMp4Maker maker(*to, units);
    out.reset(CreatePacket(maker.TotalSize()));
    maker.Write(out->data);
  } else {
    if (!destination.forCodecConfig()) detail::ThrowParser(kFunction, "Codec configuration is not available");
    // A key frame that cannot be decoded on its own, as the filter leaves it, gets the
    // destination's whole configuration.
    const bool prefixed = packet->IsKeyFrame() && !parsed->HasParameterSets(units);
    if (!prefixed && !from && !modified) return packet;
    const std::vector<NALU> none;
    const std::vector<NALU>& prefix = prefixed ? destination.nalus() : none;
    const uint64_t prefixSize = AnnexBSize(prefix);
    out.reset(CreatePacket(prefixSize + AnnexBSize(units)));
    WriteAnnexB(prefix, out->data);
    WriteAnnexB(units, out->data + prefixSize);
  }

  const AVPacket* properties = packet->GetAVPacket();
  if (!properties || av_packet_copy_props(out.get(), properties) != 0) {
    ThrowException<Orvane::Exception>(detail::kParserUnit, kFunction, "Can't copy packet properties");
  }
  return DataPacketFF::Create(out.release(), kMediaTypeVideo, packet->GetPts(), packet->GetDts(), packet->GetDuration());
}

}  // namespace

boost::intrusive_ptr<IDataPacket> ConvertPacketFromSourceToDestinationFormat(
    const boost::intrusive_ptr<IDataPacket>& packet, const std::shared_ptr<H264Parser>& source,
    const std::shared_ptr<H264Parser>& destination, const NaluFilter& filter) {
  return Convert(packet, *source, *destination, filter);
}

boost::intrusive_ptr<IDataPacket> ConvertPacketFromSourceToDestinationFormat(
    const boost::intrusive_ptr<IDataPacket>& packet, const std::shared_ptr<HEVCParser>& source,
    const std::shared_ptr<HEVCParser>& destination, const NaluFilter& filter) {
  return Convert(packet, *source, *destination, filter);
}

}  // namespace Orvane::Proc::CodecParsers
