#pragma once
// One coded packet of an H.264 or H.265 track rewritten from the NAL unit framing of its source
// configuration to the framing a destination configuration expects, optionally through a filter.
#include <memory>

#include "Orvane/Proc/CodecParsers/H264Parser.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"

namespace Orvane::Proc::CodecParsers {

// `source` is the configuration the packet was coded with; its framing is the packet's.
// `destination` gives the framing wanted: length-prefixed with its width, or Annex B with
// four-byte start codes, where a key frame without parameter sets of its own gets the
// destination's configuration units in front so that it decodes on its own (an Annex B
// destination must then be a configuration parser). The result is the packet itself when nothing
// changes, else a new packet with the input's properties and timing; the input is never changed.
boost::intrusive_ptr<IDataPacket> ConvertPacketFromSourceToDestinationFormat(
    const boost::intrusive_ptr<IDataPacket>& packet, const std::shared_ptr<H264Parser>& source,
    const std::shared_ptr<H264Parser>& destination, const NaluFilter& filter);
boost::intrusive_ptr<IDataPacket> ConvertPacketFromSourceToDestinationFormat(
    const boost::intrusive_ptr<IDataPacket>& packet, const std::shared_ptr<HEVCParser>& source,
    const std::shared_ptr<HEVCParser>& destination, const NaluFilter& filter);

}  // namespace Orvane::Proc::CodecParsers
