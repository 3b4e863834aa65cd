#pragma once
// What tests need to play the host: packets, a registry, a glog capture and exception probes.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <boost/exception/get_error_info.hpp>
#include <glog/logging.h>

extern "C" {
#include <libavcodec/packet.h>
}

#include "Orvane/Exception.h"
#include "Orvane/Proc/Data.h"
#include "Orvane/Proc/Muxer.h"

// Boost 1.81 records the throw column and declares the accessor for it but leaves it undefined;
// this is the same accessor as the one it defines for the line.
namespace boost::exception_detail {
template <>
struct get_info<throw_column> {
  static int* get(exception const& x) { return x.throw_column_ != -1 ? &x.throw_column_ : nullptr; }
};
}  // namespace boost::exception_detail

namespace testing_support {

inline boost::intrusive_ptr<Orvane::Proc::IDataPacket> MakePacket(const std::vector<uint8_t>& bytes) {
  AVPacket* packet = Orvane::Proc::CreatePacket(bytes.size());
  if (!bytes.empty()) std::memcpy(packet->data, bytes.data(), bytes.size());
  packet->flags |= AV_PKT_FLAG_KEY;
  return Orvane::Proc::DataPacketFF::Create(packet, 0, 0, 0, 0);
}

// A packet whose payload is missing altogether.
inline boost::intrusive_ptr<Orvane::Proc::IDataPacket> MakePacketWithoutPayload() {
  return Orvane::Proc::DataPacketFF::Create(av_packet_alloc(), 0, 0, 0, 0);
}

// Data that is not a packet.
class OtherData : public Orvane::Proc::IData {
 public:
  ORVANE_IMPLEMENT_REFCOUNT
 private:
  Orvane::RefCountImpl refCount_;
};

class TestRegistry : public Orvane::IRegistry {
 public:
  void RegisterMuxerCreator(const boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>& creator) override {
    creators.push_back(creator);
  }
  std::vector<boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>> creators;
};

// Collects glog lines while alive.
class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
            const char* message, size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.push_back({severity, std::string(message, length)});
  }
  struct Line {
    google::LogSeverity severity;
    std::string text;
  };
  std::vector<Line> lines;

 private:
  std::mutex mutex_;
};

// The recorded facts of a thrown exception of the family.
struct ThrowReport {
  std::string description;
  std::string callStack;
  std::string file;
  std::string function;
  int line = -1;
  int column = -1;
};

inline ThrowReport Report(const boost::exception& e) {
  ThrowReport r;
  if (auto* d = boost::get_error_info<Orvane::ErrorDescription>(e)) r.description = *d;
  if (auto* s = boost::get_error_info<Orvane::ErrorCallStack>(e)) r.callStack = *s;
  if (auto* f = boost::get_error_info<boost::throw_file>(e)) r.file = *f;
  if (auto* f = boost::get_error_info<boost::throw_function>(e)) r.function = *f;
  if (auto* l = boost::get_error_info<boost::throw_line>(e)) r.line = *l;
  if (auto* c = boost::get_error_info<boost::throw_column>(e)) r.column = *c;
  return r;
}

// Runs f, which must throw E, and returns what the exception carries.
template <class E, class F>
ThrowReport ExpectThrow(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return Report(e);
  }
  throw std::runtime_error("expected exception was not thrown");
}

// Standard output of a shell command.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> buffer;
  while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
  return out;
}

// A fresh directory under the system's temporary folder, removed when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
