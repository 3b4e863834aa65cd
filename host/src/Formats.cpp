#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Conf/FormatFile.h"
#include "Orvane/Proc/DataOutput.h"

namespace Orvane::Conf {

std::vector<std::string> GetHEIFImageFormatList() {
  return {IFormatFile::FORMAT_HEIF, IFormatFile::FORMAT_HEIC};
}

boost::intrusive_ptr<FormatFile> FormatFile::Create(std::string name) {
  return boost::intrusive_ptr<FormatFile>(new FormatFile(std::move(name)));
}

boost::intrusive_ptr<FormatCodecVideo> FormatCodecVideo::Create(uint32_t width, uint32_t height) {
  return boost::intrusive_ptr<FormatCodecVideo>(new FormatCodecVideo(width, height));
}

boost::intrusive_ptr<FormatCodecAudio> FormatCodecAudio::Create(uint32_t sampleRate, uint32_t channels) {
  return boost::intrusive_ptr<FormatCodecAudio>(new FormatCodecAudio(sampleRate, channels));
}

}  // namespace Orvane::Conf

namespace Orvane::Proc {

boost::intrusive_ptr<DataOutput> DataOutput::Create(ioPath path, std::ostream* stream) {
  return boost::intrusive_ptr<DataOutput>(new DataOutput(std::move(path), stream));
}

}  // namespace Orvane::Proc
