#pragma once
// Builds Exif blocks from "family.group.tag" keys, e.g. Exif.Image.Make.
#include <string>

#include "Orvane/Blob.h"
#include "Orvane/Export.h"

namespace Orvane::Proc {

class ORVANE_API IImageMetadata : public IRefCountable {
 public:
  // Throws Orvane::Exception when the key is unknown or the value does not fit its type.
  virtual void SetValue(const std::string& family, const std::string& group, const std::string& tag,
                        const std::string& value) = 0;
  // The encoded Exif block (a TIFF structure), or null when nothing was set. A non-null base is an
  // existing Exif block whose entries are kept unless a value set here replaces them.
  virtual BlobPtr WriteExif(const BlobPtr& base) const = 0;
};

class ORVANE_API ImageMetadata {
 public:
  static boost::intrusive_ptr<IImageMetadata> Create();
};

}  // namespace Orvane::Proc
