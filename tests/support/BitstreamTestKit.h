#pragma once
// What the tests share: a bit writer of their own, which shares no code with the library's
// builder so that the two cannot share a mistake, and a probe that runs an operation expected to
// fail and reports what the failure carried.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <boost/exception/get_error_info.hpp>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"

namespace codec_test {

struct Bits {
  std::vector<uint8_t> out;
  size_t n = 0;
  void bit(int b) { if (n % 8 == 0) out.push_back(0); out.back() |= static_cast<uint8_t>(b << (7 - n++ % 8)); }
  Bits& u(int w, uint64_t v) { while (w--) bit(static_cast<int>(v >> w & 1)); return *this; }
  Bits& zeros(int count) { while (count--) bit(0); return *this; }
  Bits& ue(uint64_t v) { int z = 0; while ((v + 1) >> (z + 1)) ++z; return zeros(z).u(z + 1, v + 1); }
  Bits& se(int64_t v) { return ue(v > 0 ? 2 * v - 1 : -2 * v); }
  Bits& bytes(const std::vector<uint8_t>& b) { for (uint8_t x : b) u(8, x); return *this; }
};

struct Failure {
  std::string message, file, function;
  bool bitstream = false, hasCallStack = false;
};

// The failure of `operation` as an exception of class E (any other escapes), or none.
template <class E = Orvane::Exception>
std::optional<Failure> Probe(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const E& e) {
    Failure f;
    f.bitstream = dynamic_cast<const Orvane::Proc::CodecParsers::BitstreamException*>(&e) != nullptr;
    if (auto* d = boost::get_error_info<Orvane::ErrorDescription>(e)) f.message = *d;
    if (auto* s = boost::get_error_info<Orvane::ErrorCallStack>(e)) f.hasCallStack = !s->empty();
    if (auto* file = boost::get_error_info<boost::throw_file>(e)) f.file = *file;
    if (auto* fn = boost::get_error_info<boost::throw_function>(e)) f.function = *fn;
    return f;
  }
  return std::nullopt;
}

}  // namespace codec_test
