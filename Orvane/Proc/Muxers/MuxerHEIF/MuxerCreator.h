#pragma once
#include "Orvane/Proc/Muxer.h"

namespace Orvane::Proc {

// The factory the plug-in registers for one HEIF-family format.
class MuxerCreator : public IMuxerCreator {
 public:
  explicit MuxerCreator(const std::string& formatName) : IMuxerCreator(formatName, ImplNames::LIBHEIF) {}

  ORVANE_IMPLEMENT_REFCOUNT

  bool IsAvailable() const override { return true; }
  boost::intrusive_ptr<IMuxer> CreateMuxer(const boost::intrusive_ptr<Conf::IFormatFile>& formatFile,
                                           const boost::intrusive_ptr<IDataOutput>& dataOutput) override;

 private:
  RefCountImpl refCount_;
};

}  // namespace Orvane::Proc
