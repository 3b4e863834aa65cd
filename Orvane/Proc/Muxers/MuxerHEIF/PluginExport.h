#pragma once
// The plug-in exports exactly one symbol, by its plain C name.
#if defined(_WIN32)
#  define MUXERHEIF_EXPORT extern "C" __declspec(dllexport)
#else
#  define MUXERHEIF_EXPORT extern "C" __attribute__((visibility("default")))
#endif
