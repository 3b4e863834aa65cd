#pragma once
#include <cstddef>
#include <cstdint>

#include "Orvane/RefCount.h"

namespace Orvane {

// A host byte buffer.
class IBlob : public IRefCountable {
 public:
  virtual const uint8_t* GetData() const = 0;
  virtual size_t GetSize() const = 0;
};

using BlobPtr = boost::intrusive_ptr<IBlob>;
using ConstBlobPtr = boost::intrusive_ptr<const IBlob>;

}  // namespace Orvane
