#pragma once
#include <ostream>

#include "Orvane/Export.h"
#include "Orvane/RefCount.h"
#include "Orvane/ioPath.h"

namespace Orvane::Proc {

// Where a muxer's output goes: a path, or a stream that the host supplies itself.
class ORVANE_API IDataOutput : public IRefCountable {
 public:
  virtual ioPath GetPath() const = 0;
  // Null unless the host supplies a stream of its own.
  virtual std::ostream* GetStream() const = 0;
};

class ORVANE_API DataOutput : public IDataOutput {
 public:
  static boost::intrusive_ptr<DataOutput> Create(ioPath path, std::ostream* stream = nullptr);
  ioPath GetPath() const override { return path_; }
  std::ostream* GetStream() const override { return stream_; }
  ORVANE_IMPLEMENT_REFCOUNT

 private:
  DataOutput(ioPath path, std::ostream* stream) : path_(std::move(path)), stream_(stream) {}
  RefCountImpl refCount_;
  ioPath path_;
  std::ostream* stream_;
};

}  // namespace Orvane::Proc

namespace Orvane {
using Proc::IDataOutput;
}
