#pragma once
// What heifmux reads from its inputs: one image per HEVC stream, made from the random-access
// picture (IDR, CRA or BLA) that the command line asks for, so that every image decodes on its own.
// Raw Annex B streams are read with the codec parsers' own scan (RawStream.cpp), every other
// input through libavformat (Container.cpp); what both share lives in Images.cpp.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/exception/exception.hpp>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"

namespace heifmux {

namespace cp = Orvane::Proc::CodecParsers;

// One HEVC stream: its description and the picture that becomes its image.
struct Image {
  boost::intrusive_ptr<Orvane::Conf::FormatCodecVideo> codec;
  boost::intrusive_ptr<Orvane::Proc::IDataPacket> picture;  // behind 4-byte lengths
  std::string origin;
  std::string packet;                 // which packet of the stream it is, for messages
  Orvane::ConstBlobPtr hvcc;          // the configuration as an hvcC with 4-byte lengths
  bool lastOfInput = false;           // the input ends with it, so it may have been cut short
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

// A failure of the libraries as one line: its description. In detail (--verbose), also where it
// was raised, its class and its call stack, readable.
std::string Describe(const boost::exception& e, bool detailed);
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

// The parameter sets in force at a point of a stream: those of its decoder configuration (an hvcC
// or Annex B), where the container gives one, each replaced by the next unit of the same kind and
// id that the stream carries in its packets. A slice names its PPS by id, the PPS its SPS and the
// SPS its VPS, so a unit of another id leaves the one before it in force.
class ParameterSetsInForce {
 public:
  // Starts from a decoder configuration; its units other than parameter sets are kept as they are.
  void Start(const Orvane::BlobPtr& configuration);
  // The VPS, SPS and PPS among a packet's units; true when any of them changed what is in force.
  bool Add(const std::vector<cp::NALU>& packet);
  // The configuration itself while no packet changed it; else the units as Annex B, by kind (VPS
  // first) and id, then the configuration's other units. Null when there are none.
  Orvane::BlobPtr Configuration() const;

 private:
  bool Store(const cp::NALU& unit);

  cp::HEVC_PS decoded_;  // tells each unit's id; a PPS or SPS is decoded against those in force
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> units_;  // by nal_unit_type and id
  std::vector<std::vector<uint8_t>> others_;
  Orvane::BlobPtr configuration_;
  bool changed_ = false;
};

// Which packet of a stream: "packet 12 at byte 9484, 0.433333 s". `index` is absent where reading
// began at a seek, `bytePosition` negative where the demuxer does not know it.
std::string PacketName(std::optional<uint64_t> index, int64_t bytePosition, std::optional<int64_t> timeUs);

// The image of a stream from the decoder configuration in force (hvcC or Annex B) and its chosen
// picture, a packet framed as `framing`, the parser of the configuration the stream's packets
// follow. The muxer takes the picture behind 4-byte lengths, the framing its hvcC declares: a
// packet framed so already is handed on as it is, any other is rewritten once. The image's size
// is that of the SPS its first slice uses.
Image MakeImage(const std::string& origin, const std::string& packet, const Orvane::BlobPtr& configuration,
                const std::shared_ptr<cp::HEVCParser>& framing,
                const boost::intrusive_ptr<Orvane::Proc::IDataPacket>& picture, bool lastOfInput);

// --verbose: which packet a stream gave, and its NAL unit types.
void SayTaken(const std::string& origin, const std::string& packet, const cp::H26xParser& picture);

// Why the image does not decode on its own, as a reader of the file decodes it (its hvcC, then its
// data), through FFmpeg's HEVC decoder with every error it detects taken as a failure; or nothing
// when it decodes cleanly to the size the image declares. A picture the input ends with must also
// decode without reading past its end, which a picture cut short does.
std::optional<std::string> DecodeProblem(const Image& image);

}  // namespace heifmux
