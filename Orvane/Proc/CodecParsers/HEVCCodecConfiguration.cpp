// The parameter sets of a codec configuration. Apart from the rest of the collection, which
// needs no stream parser.
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"

namespace Orvane::Proc::CodecParsers {

std::shared_ptr<HEVC_PS> HEVC_PS::FromCodecConfiguration(const boost::intrusive_ptr<const IBlob>& blob) {
  return HEVCParser::CreateFromCodecConfiguration(blob)->GetParameterSets();
}

}  // namespace Orvane::Proc::CodecParsers
