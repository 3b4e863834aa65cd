#pragma once
#include "Orvane/Exception.h"
#include "Orvane/Export.h"

namespace Orvane::Proc::CodecParsers {

// Raised by the codec parsers for input that does not follow the syntax, and for values that
// cannot be written. Derives from the root directly: it is not a processing-framework failure.
class ORVANE_TYPE_VISIBLE BitstreamException : public Exception {
 public:
  const char* what() const noexcept override { return "Bitstream exception"; }
};

}  // namespace Orvane::Proc::CodecParsers
