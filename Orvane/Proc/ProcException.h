#pragma once
// Exceptions of the processing framework. Header-only with visible type information, so that a
// host catches them by type whichever library threw them.
#include "Orvane/Exception.h"
#include "Orvane/Export.h"

namespace Orvane::Proc {

class ORVANE_TYPE_VISIBLE ProcException : public Exception {};

// Raised by muxers.
class ORVANE_TYPE_VISIBLE MuxerException : public ProcException {};

}  // namespace Orvane::Proc
