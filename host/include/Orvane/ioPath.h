#pragma once
#include <filesystem>
#include <string>

#include "Orvane/Export.h"

namespace Orvane {

// A file-system path that speaks UTF-8 whatever the platform's native encoding.
class ORVANE_API ioPath {
 public:
  ioPath() = default;
  explicit ioPath(std::filesystem::path p) : path_(std::move(p)) {}
  static ioPath FromUtf8(const std::string& utf8);

  std::string utf8string() const;
  // The extension with its leading dot; empty when the file name has none.
  ioPath extension() const { return ioPath(path_.extension()); }
  static ioPath extension(const ioPath& p) { return p.extension(); }
  const std::filesystem::path& native() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace Orvane
