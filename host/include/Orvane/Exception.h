#pragma once
// The root of the framework's exception family, its two attachments and call-stack capture.
#include <exception>
#include <string>

#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>

#include "Orvane/Export.h"

namespace Orvane {

class ORVANE_API Exception : public virtual std::exception, public virtual boost::exception {
 public:
  Exception() = default;
  Exception(const Exception&) = default;
  ~Exception() override;
};

struct TagDescription {};
struct TagCallStack {};
using ErrorDescription = boost::error_info<TagDescription, std::string>;
using ErrorCallStack = boost::error_info<TagCallStack, std::string>;

// The calling thread's stack, taken cheaply enough to go with every failure: one frame a line,
// innermost first, from the caller on, each the frame's return address and the module it lies in
// with its offset there, without names:
//   #0 0x7f1c2a4b5e10 /usr/lib/libOrvaneHost.so+0x5e10
ORVANE_API std::string GetCallStack();

// A text of GetCallStack made readable, for a person: each frame whose module is loaded in this
// process as its function name, with the source file and line where the module carries debug
// information; other lines as they were.
ORVANE_API std::string SymbolizeCallStack(const std::string& callStack);

// boost::diagnostic_information of a failure (its site, class and attachments), with the call
// stack it carries made readable.
ORVANE_API std::string DiagnosticInformation(const boost::exception& e);

}  // namespace Orvane
