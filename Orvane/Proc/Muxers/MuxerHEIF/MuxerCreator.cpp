#include "MuxerCreator.h"

#include "MuxerHEIF.h"

namespace Orvane::Proc {

boost::intrusive_ptr<IMuxer> MuxerCreator::CreateMuxer(const boost::intrusive_ptr<Conf::IFormatFile>& formatFile,
                                                       const boost::intrusive_ptr<IDataOutput>& dataOutput) {
  return boost::intrusive_ptr<IMuxer>(new MuxerHEIF(formatFile, dataOutput));
}

}  // namespace Orvane::Proc
