#include "Orvane/ioPath.h"

namespace Orvane {

ioPath ioPath::FromUtf8(const std::string& utf8) {
  return ioPath(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())));
}

std::string ioPath::utf8string() const {
  const std::u8string text = path_.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace Orvane
