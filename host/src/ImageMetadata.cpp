#include "Orvane/Proc/ImageMetadata.h"

#include <exiv2/exiv2.hpp>

#include <boost/throw_exception.hpp>

#include "Orvane/Exception.h"
#include "Orvane/Proc/Data.h"

namespace Orvane::Proc {
namespace {

[[noreturn]] void ThrowMetadata(const std::string& message) {
  Exception e;
  e << ErrorDescription(message) << ErrorCallStack(GetCallStack());
  boost::throw_exception(e, BOOST_CURRENT_LOCATION);
}

class ExifBuilder : public IImageMetadata {
 public:
  void SetValue(const std::string& family, const std::string& group, const std::string& tag,
                const std::string& value) override {
    const std::string key = family + "." + group + "." + tag;
    try {
      exif_[key] = value;
    } catch (const Exiv2::AnyError& error) {
      ThrowMetadata("Cannot set metadata " + key + ": " + error.what());
    }
  }

  BlobPtr WriteExif(const BlobPtr& base) const override {
    Exiv2::ExifData data;
    Exiv2::ByteOrder order = Exiv2::littleEndian;
    try {
      if (base && base->GetSize()) {
        order = Exiv2::ExifParser::decode(data, base->GetData(), base->GetSize());
      }
      for (const Exiv2::Exifdatum& entry : exif_) data[entry.key()] = entry.value();
      if (data.empty()) return nullptr;
      Exiv2::Blob encoded;
      Exiv2::ExifParser::encode(encoded, order, data);
      if (encoded.empty()) return nullptr;
      return BlobFF::Create(encoded.data(), encoded.size());
    } catch (const Exiv2::AnyError& error) {
      ThrowMetadata(std::string("Cannot encode Exif metadata: ") + error.what());
    }
  }

  ORVANE_IMPLEMENT_REFCOUNT

 private:
  RefCountImpl refCount_;
  Exiv2::ExifData exif_;
};

}  // namespace

boost::intrusive_ptr<IImageMetadata> ImageMetadata::Create() {
  return boost::intrusive_ptr<IImageMetadata>(new ExifBuilder());
}

}  // namespace Orvane::Proc
