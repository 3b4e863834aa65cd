#pragma once
// Visibility of the framework's own libraries. Components are built with hidden symbols; the
// framework's classes and functions are exported from its library and imported by everyone else.
#if defined(_WIN32)
#  if defined(ORVANE_HOST_BUILD)
#    define ORVANE_API __declspec(dllexport)
#  else
#    define ORVANE_API __declspec(dllimport)
#  endif
#  define ORVANE_TYPE_VISIBLE
#else
#  define ORVANE_API __attribute__((visibility("default")))
// Type information that must be the same object in every library: exception classes that a
// caller catches by type, whichever library threw them.
#  define ORVANE_TYPE_VISIBLE __attribute__((visibility("default")))
#endif
