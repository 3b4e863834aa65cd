#pragma once
// The two listings the inspector writes as it goes: a syntax trace for people, one JSON document
// for programs. Output is buffered and flushed in large pieces; nothing of a unit is kept after it
// is written.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "NalUnits.h"

namespace inspect {

class Writer {
 public:
  virtual ~Writer() = default;
  virtual void Begin(const std::string& input, Codec codec) = 0;
  virtual void BeginUnit(const UnitPlace& place, uint64_t size, uint32_t type, const std::string& typeName) = 0;
  // Where the fields of the unit begun last are listed.
  virtual cp::SyntaxListing& Fields() = 0;
  virtual void Error(std::string_view message) = 0;
  virtual void EndUnit() = 0;
  virtual void End() = 0;
};

std::unique_ptr<Writer> MakeTextWriter(std::FILE* out);
std::unique_ptr<Writer> MakeJsonWriter(std::FILE* out);

}  // namespace inspect
