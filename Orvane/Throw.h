#pragma once
// The one way the plug-in raises a failure: an exception of the family, carrying its description
// and the call stack as attachments, thrown with the site it was raised at. The site names the
// unit by its fixed path in the source tree and the function by its plain name, so that reports
// read the same whatever the build machine's directories or the compiler's name decoration.
#include <source_location>
#include <string>

#include <boost/assert/source_location.hpp>
#include <boost/throw_exception.hpp>

#include "Orvane/Exception.h"

namespace Orvane {

// `unit` and `function` must be string literals: the site keeps the pointers. The line and column
// are those of the call, which is the throw statement of the caller.
template <class E>
[[noreturn]] void ThrowException(const char* unit, const char* function, std::string description,
                                 std::source_location at = std::source_location::current()) {
  E e;
  e << ErrorDescription(std::move(description));
  e << ErrorCallStack(GetCallStack());
  boost::throw_exception(e, boost::source_location(unit, at.line(), function, at.column()));
}

}  // namespace Orvane
