#include "Orvane/Proc/CodecParsers/H26xParser.h"

#include <algorithm>

#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

bool H26xParser::ParseCodecConfigAsAnnexB(const ConstBlobPtr& blob) {
  if (!forCodecConfig_) ThrowParser("ParseCodecConfigAsAnnexB", "The parser is not suitable for parsing codec configuration");
  const uint64_t size = blob ? blob->GetSize() : 0;
  if (size < 4) ThrowParser("ParseCodecConfigAsAnnexB", "Not enougth data to determine header type");
  const uint8_t* p = blob->GetData();
  const bool startCode = p[0] == 0 && p[1] == 0 && (p[2] == 1 || (p[2] == 0 && p[3] == 1));
  if (!startCode) return false;
  std::vector<NALU> found;
  FindAnnexBNalus(p, size, found);
  Store(std::nullopt, blob, std::move(found));
  return true;
}

void H26xParser::ParsePacketData(const ConstBlobPtr& blob, std::optional<uint64_t> lengthSize) {
  if (forCodecConfig_) ThrowParser("ParsePacketData", "The parser is not suitable for parsing packet data");
  if (lengthSize) detail::CheckLengthSize("ParsePacketData", *lengthSize);
  std::vector<NALU> found;
  if (blob && blob->GetSize()) {
    if (lengthSize) {
      FindMP4Nalus(blob->GetData(), blob->GetSize(), found, *lengthSize);
    } else {
      const uint8_t* const data = blob->GetData();
      FindAnnexBNalus(data, blob->GetSize(), found);
      // The scan passes over what no start code introduces; in a packet that would be lost without
      // a word. Zero bytes before the first start code are leading_zero_8bits and carry nothing.
      if (found.empty()) ThrowParser("ParsePacketData", "The Annex B packet contains no NALU");
      const uint8_t* const firstStartCode = found.front().data - 3;
      if (std::any_of(data, firstStartCode, [](uint8_t byte) { return byte != 0; })) {
        ThrowParser("ParsePacketData", "The Annex B packet contains data before its first start code");
      }
    }
  }
  Store(lengthSize, blob, std::move(found));
}

}  // namespace Orvane::Proc::CodecParsers
