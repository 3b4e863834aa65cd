#pragma once
// libavformat, loaded on first use. A raw stream is read without it, and loading it with the many
// libraries it pulls in cost more than reading to a picture near the end of a long raw stream.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/macros.h>
}

namespace heifmux {

struct FormatLibrary {
  decltype(&avformat_open_input) open_input;
  decltype(&avformat_find_stream_info) find_stream_info;
  decltype(&avformat_seek_file) seek_file;
  decltype(&av_read_frame) read_frame;
  decltype(&avformat_close_input) close_input;
  decltype(&av_probe_input_format3) probe_input_format3;

  // Throws when the library cannot be loaded; it stays loaded until exit.
  static const FormatLibrary& Get() {
    static const FormatLibrary library = [] {
      const std::string name = "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
      void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) throw std::runtime_error("cannot load " + name + ": " + dlerror());
      FormatLibrary f{};
      const auto find = [&](auto& function, const char* symbol) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, symbol));
        if (!function) throw std::runtime_error(name + " lacks " + symbol);
      };
      find(f.open_input, "avformat_open_input");
      find(f.find_stream_info, "avformat_find_stream_info");
      find(f.seek_file, "avformat_seek_file");
      find(f.read_frame, "av_read_frame");
      find(f.close_input, "avformat_close_input");
      find(f.probe_input_format3, "av_probe_input_format3");
      return f;
    }();
    return library;
  }
};

}  // namespace heifmux
