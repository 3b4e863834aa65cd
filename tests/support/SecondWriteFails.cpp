// Preloaded into heifmux by its tests. The second time a file whose name holds ".part-" is opened
// for writing, it is truncated as usual and the stream handed back writes to /dev/full: a disk that
// fills up between the muxer's two writes of heifmux's temporary file.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

extern "C" __attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
  using Open = FILE* (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen64"));
  static int opened = 0;
  if (std::strstr(path, ".part-") && std::strchr(mode, 'w') && ++opened == 2) {
    if (FILE* truncated = real(path, mode)) std::fclose(truncated);
    return real("/dev/full", mode);
  }
  return real(path, mode);
}
