#pragma once
// Container format descriptions.
#include <string>
#include <vector>

#include "Orvane/Export.h"
#include "Orvane/RefCount.h"

namespace Orvane::Conf {

class ORVANE_API IFormatFile : public IRefCountable {
 public:
  static constexpr const char FORMAT_HEIF[] = "heif";
  static constexpr const char FORMAT_HEIC[] = "heic";

  virtual std::string GetName() const = 0;
};

// The HEIF-family formats that image muxers may serve, in the framework's order.
ORVANE_API std::vector<std::string> GetHEIFImageFormatList();

class ORVANE_API FormatFile : public IFormatFile {
 public:
  static boost::intrusive_ptr<FormatFile> Create(std::string name);
  std::string GetName() const override { return name_; }
  ORVANE_IMPLEMENT_REFCOUNT

 private:
  explicit FormatFile(std::string name) : name_(std::move(name)) {}
  RefCountImpl refCount_;
  std::string name_;
};

}  // namespace Orvane::Conf
