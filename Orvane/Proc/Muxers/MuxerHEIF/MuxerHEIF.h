#pragma once
// The HEIF still-image muxer: one "hvc1" image item per HEVC stream, holding the stream's first
// coded picture. The file model lives in memory and is written out whole by Close.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Orvane/Proc/CodecParsers/CommonVUI.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"
#include "Orvane/Proc/Muxer.h"

namespace heif {
class HeifFile;
}

namespace Orvane::Proc {

class MuxerHEIF : public IMuxer {
 public:
  MuxerHEIF(const boost::intrusive_ptr<Conf::IFormatFile>& formatFile,
            const boost::intrusive_ptr<IDataOutput>& dataOutput);
  ~MuxerHEIF() override;

  ORVANE_IMPLEMENT_REFCOUNT

  uint32_t AddStream(const boost::intrusive_ptr<Conf::IFormatCodec>& codec) override;
  void WriteHeader(int32_t mode) override;
  void Write(uint32_t streamIndex, const boost::intrusive_ptr<IData>& data) override;
  void Close() override;
  boost::intrusive_ptr<IDataOutput> GetDataOutput() const override { return dataOutput; }
  Core::Property GetStatistic() const override;
  boost::intrusive_ptr<Conf::IFormatFile> GetFormatFile() const override { return formatFile; }
  std::string GetFormatName() const override;
  bool IsReady() const override { return true; }

 private:
  // What a stream declares of its pictures' colour: the video signal type of the SPS's VUI, and
  // the mastering display and content light level of its SEI messages.
  struct DeclaredColour {
    bool signalType = false;  // the VUI has a colour description or signals full range
    CodecParsers::ColourDescription colour{};  // 2, 2, 2 where the VUI has no colour description
    bool fullRange = false;
    std::optional<CodecParsers::HEVC_MasteringDisplayColourVolume> masteringDisplay;
    std::optional<CodecParsers::HEVC_ContentLightLevel> contentLightLevel;
  };

  struct StreamEntry {
    boost::intrusive_ptr<Conf::IFormatCodecVideo> codec;
    bool written = false;  // the image item already holds its coded picture
    DeclaredColour colour;  // of the decoder configuration, until the picture adds its own
  };

  // The stream's hvcC property, from the VPS, SPS and PPS of its codec private data; notes what the
  // configuration declares of the colour.
  void AddDecoderConfiguration(uint32_t id, StreamEntry& stream);
  // The colour properties of an image: only what its stream declares, so that an image whose
  // stream declares none gets exactly hvcC and ispe.
  void AddColourProperties(uint32_t id, const DeclaredColour& colour);

  RefCountImpl refCount_;
  boost::intrusive_ptr<Conf::IFormatFile> formatFile;
  boost::intrusive_ptr<IDataOutput> dataOutput;
  std::map<uint32_t, StreamEntry> streams;  // key: the image's item ID, which is the stream index
  uint64_t processingTimeNs = 0;
  uint64_t imagesWritten = 0;
  std::unique_ptr<heif::HeifFile> heifFile;
};

}  // namespace Orvane::Proc
