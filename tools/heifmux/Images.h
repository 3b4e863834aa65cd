#pragma once
// What heifmux reads from its inputs: one image per HEVC stream, made from the random-access
// picture (IDR, CRA or BLA) that the command line asks for, so that every image decodes on its own.
// Raw Annex B streams are read with the codec parsers' own scan (RawStream.cpp), every other
// input through libavformat (Container.cpp); what both share lives in Images.cpp.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/exception/exception.hpp>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"

namespace heifmux {

namespace cp = Orvane::Proc::CodecParsers;

// One HEVC stream: its description and the picture that becomes its image.
struct Image {
  boost::intrusive_ptr<Orvane::Conf::FormatCodecVideo> codec;
  boost::intrusive_ptr<Orvane::Proc::IDataPacket> picture;
  std::string origin;
};

// Which random-access picture of each stream becomes its image: the first, the first at or after
// a presentation time (counted from the start of the input), or the Nth in decoding order.
struct PictureChoice {
  std::optional<int64_t> timeUs;
  std::optional<uint64_t> frame;  // 1-based
  bool verbose = false;           // say on stderr which packet each stream gave
};

// The images of every HEVC video stream of the input, in stream order.
std::vector<Image> ReadImages(const std::string& path, const PictureChoice& choice);
std::vector<Image> ReadRawStream(const std::string& path, const PictureChoice& choice);
std::vector<Image> ReadContainer(const std::string& path, const PictureChoice& choice);

// What the two readers share.

std::string Describe(const boost::exception& e);
// Seconds as people write them: "12.5", "0.04".
std::string Seconds(int64_t us);

// Counts the random-access pictures of one stream in decoding order and says which one is wanted.
class RandomAccessCounter {
 public:
  explicit RandomAccessCounter(const PictureChoice& choice) : choice_(choice) {}
  // For each random-access picture in turn; `timeUs` is absent when the stream does not say.
  bool IsWanted(std::optional<int64_t> timeUs);
  // The line that refuses a stream which ended without the wanted picture.
  std::string Refusal(const std::string& origin, std::optional<int64_t> durationUs) const;

 private:
  const PictureChoice& choice_;
  uint64_t seen_ = 0;
};

// The parameter sets a stream has carried in its packets, for inputs whose container gives no
// decoder configuration: of each kind, the units of the latest packet that carried that kind.
class InBandParameterSets {
 public:
  // True when the packet's units held any.
  bool Add(const std::vector<cp::NALU>& packet);
  // The units as Annex B, VPS first; null before any was seen.
  Orvane::BlobPtr Configuration() const;

 private:
  std::vector<std::vector<uint8_t>> units_[3];  // VPS, SPS, PPS
};

// The image of a stream from its decoder configuration (hvcC or Annex B) and its chosen picture,
// a packet framed as `framing`, the parser of the configuration the stream's packets follow. The
// muxer takes the picture behind 4-byte lengths, the framing its hvcC declares: a packet framed so
// already is handed on as it is, any other is rewritten once.
Image MakeImage(const std::string& origin, const Orvane::BlobPtr& configuration,
                const std::shared_ptr<cp::HEVCParser>& framing,
                const boost::intrusive_ptr<Orvane::Proc::IDataPacket>& picture);

// --verbose: which packet a stream gave. `index` is absent where reading began at a seek.
void SayTaken(const std::string& origin, std::optional<uint64_t> index, int64_t bytePosition,
              std::optional<int64_t> timeUs, const cp::H26xParser& picture);

}  // namespace heifmux
