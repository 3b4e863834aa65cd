#pragma once
// What the configuration fuzz targets of both codecs check alike: a parser holds its units inside
// its own bytes, and a configuration record written from units reads back to them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "Orvane/Blob.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace fuzz_support {

using Orvane::Proc::CodecParsers::NALU;

// Every unit the parser holds is non-empty and lies inside the parser's own bytes.
template <class Parser>
void CheckUnitsInside(const Parser& parser) {
  const uint8_t* begin = parser.source()->GetData();
  const uint8_t* end = begin + parser.source()->GetSize();
  for (const NALU& nalu : parser.nalus()) {
    if (nalu.size == 0 || nalu.data < begin || nalu.data + nalu.size > end) std::abort();
  }
}

// Units cut from the input after its first byte (Annex B start codes separate them; the first byte
// picks the length size) go through `write`, a record writer. When it writes a record, `Parser`
// must read it back without failing, with the length size asked for, holding the units of `types`
// that went in: those of the first type, then those of the next, each in input order.
template <class Parser, class Write, class TypeOf>
int RecordReadsBack(const uint8_t* input, size_t size, Write write, TypeOf typeOf,
                    std::initializer_list<uint32_t> types) {
  if (size < 1) return 0;
  const uint64_t lengthSize = input[0] % 4 + 1;
  std::vector<NALU> nalus;
  Orvane::Proc::CodecParsers::FindAnnexBNalus(input + 1, size - 1, nalus);
  Orvane::BlobPtr record;
  try {
    record = write(nalus, lengthSize);
  } catch (const Orvane::Exception&) {
    return 0;
  }
  std::vector<NALU> expected;
  for (const uint32_t type : types) {
    std::copy_if(nalus.begin(), nalus.end(), std::back_inserter(expected),
                 [&](const NALU& nalu) { return typeOf(nalu) == type; });
  }
  const auto parser = Parser::CreateFromCodecConfiguration(record);
  if (parser->nalLengthSize() != lengthSize) std::abort();
  const std::vector<NALU>& got = parser->nalus();
  const auto sameBytes = [](const NALU& a, const NALU& b) {
    return a.size == b.size && std::memcmp(a.data, b.data, a.size) == 0;
  };
  if (!std::equal(got.begin(), got.end(), expected.begin(), expected.end(), sameBytes)) std::abort();
  return 0;
}

}  // namespace fuzz_support
