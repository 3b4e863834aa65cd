// ConvertPacketFromSourceToDestinationFormat over packets, configurations and framings from any
// bytes, for both codecs. Input: a control byte (bit 0: HEVC; bits 1-3 and 4-6: source and
// destination framing, 0 for Annex B, 1 to 4 for that length width, larger values for Annex B;
// bit 7: key frame), a filter byte (bits 0-1: none, drop units of the type byte, replace them,
// leave a unit unfinished; bit 2: the destination is a packet parser; bit 3: the packet bytes are
// taken as they are instead of being framed), the type byte, a 16-bit length and the
// configuration's units in Annex B, then the packet's units in Annex B.
// A conversion may fail only with the exception family. A new packet must hold, in the
// destination's framing, the units the filter keeps, or for an Annex B key frame the destination's
// configuration followed by them; a returned input must be in the destination's framing already.
#include <cstdlib>
#include <memory>
#include <vector>

#include <glog/logging.h>

extern "C" {
#include <libavcodec/packet.h>
}

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"

using namespace Orvane::Proc::CodecParsers;
using Units = std::vector<std::vector<uint8_t>>;

namespace {

Units Copies(const std::vector<NALU>& nalus) {
  Units units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}

template <class Parser>
void Run(const uint8_t* input, size_t size, uint32_t (*type)(const NALU&)) {
  const uint8_t control = input[0], options = input[1], filterType = input[2];
  const size_t configSize = std::min<size_t>(size - 5, size_t{input[3]} << 8 | input[4]);
  const uint64_t fromWidth = (control >> 1 & 7) <= 4 ? control >> 1 & 7 : 0, toWidth = (control >> 4 & 7) <= 4 ? control >> 4 & 7 : 0;
  const bool key = control & 0x80;

  // Configurations: the units as Annex B, or an avcC/hvcC record of them at the width wanted.
  std::vector<uint8_t> configBytes = {0, 0, 0, 1};
  configBytes.insert(configBytes.end(), input + 5, input + 5 + configSize);
  std::shared_ptr<Parser> from, to;
  try {
    const auto annexB = Parser::CreateFromCodecConfiguration(Orvane::Proc::BlobFF::Create(configBytes.data(), configBytes.size()));
    const auto make = [&](uint64_t width) {
      if (width == 0) return annexB;
      const ConstBlobPtr framed = MakeLengthPrefixedBlob(annexB->nalus(), width);
      return Parser::CreateFromLengthPrefixed(framed->GetData(), framed->GetSize(), static_cast<uint8_t>(width));
    };
    from = make(fromWidth);
    to = make(toWidth);
    if (options & 4) to = std::static_pointer_cast<Parser>(to->ParsePacket(nullptr));
  } catch (const Orvane::Exception&) {
    return;
  }

  const uint8_t* packetBytes = input + 5 + configSize;
  const size_t packetSize = size - 5 - configSize;
  std::vector<NALU> units;
  FindAnnexBNalus(packetBytes, packetSize, units);
  ConstBlobPtr payload;
  try {
    payload = (options & 8) ? Orvane::Proc::BlobFF::Create(packetBytes, packetSize)
              : fromWidth ? MakeLengthPrefixedBlob(units, fromWidth) : MakeAnnexBBlob(units);
  } catch (const Orvane::Exception&) {
    return;  // a unit too long for the source's width
  }
  AVPacket* av = Orvane::Proc::CreatePacket(payload->GetSize());
  if (payload->GetSize()) std::copy_n(payload->GetData(), payload->GetSize(), av->data);
  av->flags = key ? AV_PKT_FLAG_KEY : 0;
  const boost::intrusive_ptr<Orvane::Proc::IDataPacket> in = Orvane::Proc::DataPacketFF::Create(av, 1, 1, 2, 3);

  NaluFilter filter;
  switch (options & 3) {
    case 1: filter = [&](const NALU& n, H26xBitstreamBuilder&) { return type(n) == filterType ? 0 : 1; }; break;
    case 2:
      filter = [&](const NALU& n, H26xBitstreamBuilder& b) {
        if (type(n) != filterType) return 1;
        if (std::is_same_v<Parser, H264Parser>) b.BeginNALU(12, 0); else b.BeginNALU(38);
        b.AppendU64(filterType, 24);
        b.FinishNALU();
        return 1;
      };
      break;
    case 3: filter = [](const NALU&, H26xBitstreamBuilder& b) { b.AppendBit(true); return 1; }; break;
  }

  boost::intrusive_ptr<Orvane::Proc::IDataPacket> out;
  try {
    out = ConvertPacketFromSourceToDestinationFormat(in, from, to, filter);
  } catch (const Orvane::Exception&) {
    return;
  }
  if (out->GetPts() != 1 || out->GetDts() != 2 || out->GetDuration() != 3 || out->IsKeyFrame() != key) std::abort();
  if (out == in) {
    if (fromWidth != toWidth) std::abort();
    return;
  }
  if (options & 8) return;  // the units of raw bytes need not survive a change of framing

  // Annex B units framed again scan back to themselves, so the output's units are the input's.
  std::vector<NALU> got;
  const ConstBlobPtr blob = out->GetBlob();
  if (toWidth) {
    FindMP4Nalus(blob->GetData(), blob->GetSize(), got, toWidth);
  } else {
    FindAnnexBNalus(blob->GetData(), blob->GetSize(), got);
  }
  const Units kept = Copies(FilteredNalus(units, filter).nalus);
  Units prefixed = Copies(to->nalus());
  prefixed.insert(prefixed.end(), kept.begin(), kept.end());
  if (Copies(got) != kept && (toWidth || !key || Copies(got) != prefixed)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 5) return 0;
  if (input[0] & 1) {
    Run<HEVCParser>(input, size, HEVCNaluType);
  } else {
    Run<H264Parser>(input, size, H264NaluType);
  }
  return 0;
}
