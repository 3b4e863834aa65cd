// The plug-in's entry: one muxer factory per HEIF-family format the framework lists.
#include "MuxerCreator.h"
#include "PluginExport.h"

MUXERHEIF_EXPORT void Registrator(Orvane::IRegistry* registry) {
  for (const std::string& format : Orvane::Conf::GetHEIFImageFormatList()) {
    boost::intrusive_ptr<Orvane::Proc::IMuxerCreator> creator(new Orvane::Proc::MuxerCreator(format));
    registry->RegisterMuxerCreator(creator);
  }
}
