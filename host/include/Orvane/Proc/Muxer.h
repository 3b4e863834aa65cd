#pragma once
// The interfaces through which the framework finds and drives muxers.
#include <cstdint>
#include <string>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Conf/FormatFile.h"
#include "Orvane/Core/Property.h"
#include "Orvane/Export.h"
#include "Orvane/Proc/Data.h"
#include "Orvane/Proc/DataOutput.h"

namespace Orvane::Proc {

namespace ImplNames {
inline constexpr const char LIBHEIF[] = "libheif";
}

class ORVANE_API IImplInfo : public IRefCountable {
 public:
  virtual bool IsAvailable() const = 0;
};

class ORVANE_API IMuxer : public IRefCountable {
 public:
  virtual uint32_t AddStream(const boost::intrusive_ptr<Conf::IFormatCodec>& codec) = 0;
  virtual void WriteHeader(int32_t mode) = 0;
  virtual void Write(uint32_t streamIndex, const boost::intrusive_ptr<IData>& data) = 0;
  virtual void Close() = 0;
  virtual boost::intrusive_ptr<IDataOutput> GetDataOutput() const = 0;
  virtual Core::Property GetStatistic() const = 0;
  virtual boost::intrusive_ptr<Conf::IFormatFile> GetFormatFile() const = 0;
  virtual std::string GetFormatName() const = 0;
  virtual bool IsReady() const = 0;
};

class ORVANE_API IMuxerCreator : public IImplInfo {
 public:
  IMuxerCreator(std::string formatName, std::string implementationName)
      : formatName_(std::move(formatName)), implementationName_(std::move(implementationName)) {}
  const std::string& GetFormatName() const { return formatName_; }
  const std::string& GetImplementationName() const { return implementationName_; }

  virtual boost::intrusive_ptr<IMuxer> CreateMuxer(
      const boost::intrusive_ptr<Conf::IFormatFile>& formatFile,
      const boost::intrusive_ptr<IDataOutput>& dataOutput) = 0;

 private:
  std::string formatName_;
  std::string implementationName_;
};

// The framework's registry, handed to a plug-in's Registrator.
class ORVANE_API IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Keeps a reference of its own.
  virtual void RegisterMuxerCreator(const boost::intrusive_ptr<IMuxerCreator>& creator) = 0;
};

// The one function a plug-in exports.
using RegistratorFunction = void (*)(IRegistry* registry);
inline constexpr const char REGISTRATOR_SYMBOL[] = "Registrator";

}  // namespace Orvane::Proc

namespace Orvane {
using Proc::IRegistry;
}
