#pragma once
// Stream descriptions: what a demuxer or encoder tells a muxer about each stream.
#include <cstdint>
#include <optional>
#include <string>

#include "Orvane/Blob.h"
#include "Orvane/Core/Property.h"
#include "Orvane/Export.h"

namespace Orvane::Conf {

class ORVANE_API IFormatCodec : public IRefCountable {
 public:
  // The decoder configuration (for HEVC an hvcC record or Annex B parameter sets); may be null.
  virtual boost::intrusive_ptr<const IBlob> GetPrivateData() const = 0;
  virtual bool ExistsStreamMetadata() const = 0;
  virtual Core::Property GetStreamMetadata() const = 0;
  virtual bool ExistsMainStreamFlag() const = 0;
  virtual bool GetMainStreamFlag() const = 0;
};

class ORVANE_API IFormatCodecVideo : public IFormatCodec {
 public:
  static constexpr const char TAG_X264_PROFILE_BASELINE[] = "baseline";
  static constexpr const char TAG_X264_PROFILE_MAIN[] = "main";
  static constexpr const char TAG_X264_PROFILE_EXTENDED[] = "extended";
  static constexpr const char TAG_X264_PROFILE_HIGH[] = "high";
  static constexpr const char TAG_X264_PROFILE_HIGH10[] = "high10";
  static constexpr const char TAG_X264_PROFILE_HIGH422[] = "high422";
  static constexpr const char TAG_X264_PROFILE_HIGH444[] = "high444";

  virtual uint32_t GetWidth() const = 0;
  virtual uint32_t GetHeight() const = 0;
};

class ORVANE_API IFormatCodecAudio : public IFormatCodec {
 public:
  virtual uint32_t GetSampleRate() const = 0;
  virtual uint32_t GetChannels() const = 0;
};

// The settable parts every description shares.
template <class Interface>
class FormatCodecBase : public Interface {
 public:
  boost::intrusive_ptr<const IBlob> GetPrivateData() const override { return privateData_; }
  bool ExistsStreamMetadata() const override { return metadata_.has_value(); }
  Core::Property GetStreamMetadata() const override { return metadata_.value_or(Core::Property()); }
  bool ExistsMainStreamFlag() const override { return mainStream_.has_value(); }
  bool GetMainStreamFlag() const override { return mainStream_.value_or(false); }

  void SetPrivateData(boost::intrusive_ptr<const IBlob> blob) { privateData_ = std::move(blob); }
  void SetStreamMetadata(Core::Property metadata) { metadata_ = std::move(metadata); }
  void SetMainStreamFlag(bool main) { mainStream_ = main; }

  ORVANE_IMPLEMENT_REFCOUNT

 private:
  RefCountImpl refCount_;
  boost::intrusive_ptr<const IBlob> privateData_;
  std::optional<Core::Property> metadata_;
  std::optional<bool> mainStream_;
};

class ORVANE_API FormatCodecVideo : public FormatCodecBase<IFormatCodecVideo> {
 public:
  static boost::intrusive_ptr<FormatCodecVideo> Create(uint32_t width, uint32_t height);
  uint32_t GetWidth() const override { return width_; }
  uint32_t GetHeight() const override { return height_; }

 private:
  FormatCodecVideo(uint32_t width, uint32_t height) : width_(width), height_(height) {}
  uint32_t width_;
  uint32_t height_;
};

class ORVANE_API FormatCodecAudio : public FormatCodecBase<IFormatCodecAudio> {
 public:
  static boost::intrusive_ptr<FormatCodecAudio> Create(uint32_t sampleRate, uint32_t channels);
  uint32_t GetSampleRate() const override { return sampleRate_; }
  uint32_t GetChannels() const override { return channels_; }

 private:
  FormatCodecAudio(uint32_t sampleRate, uint32_t channels)
      : sampleRate_(sampleRate), channels_(channels) {}
  uint32_t sampleRate_;
  uint32_t channels_;
};

}  // namespace Orvane::Conf
