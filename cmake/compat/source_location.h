#pragma once
// clang 14 lacks the builtin that libstdc++ 12 builds std::source_location on, so with that pair
// <source_location> is empty. The throw sites need only file, function, line and column, which
// clang's older builtins give; the build includes this first in every source when the toolchain's
// own header is empty (the clang fuzz build). __cpp_lib_source_location stays undefined, so Boost
// keeps its own source_location and never converts from this one.
#include <version>

#if !defined(__cpp_lib_source_location)
#include <cstdint>

namespace std {

struct source_location {
  static constexpr source_location current(uint_least32_t line = __builtin_LINE(),
                                           uint_least32_t column = __builtin_COLUMN(),
                                           const char* file = __builtin_FILE(),
                                           const char* function = __builtin_FUNCTION()) noexcept {
    source_location at;
    at.line_ = line;
    at.column_ = column;
    at.file_ = file;
    at.function_ = function;
    return at;
  }
  constexpr uint_least32_t line() const noexcept { return line_; }
  constexpr uint_least32_t column() const noexcept { return column_; }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr const char* function_name() const noexcept { return function_; }

 private:
  uint_least32_t line_ = 0;
  uint_least32_t column_ = 0;
  const char* file_ = "";
  const char* function_ = "";
};

}  // namespace std
#endif
