#pragma once
// What tests need to play the host: packets, a registry, commands and folders.
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

#include "Orvane/Proc/Data.h"
#include "Orvane/Proc/Muxer.h"
#include "support/LogCapture.h"

namespace testing_support {

using codec_test::LogCapture;

inline boost::intrusive_ptr<Orvane::Proc::IDataPacket> MakePacket(const std::vector<uint8_t>& bytes, bool key = true) {
  AVPacket* packet = Orvane::Proc::CreatePacket(bytes.size());
  if (!bytes.empty()) std::memcpy(packet->data, bytes.data(), bytes.size());
  if (key) packet->flags |= AV_PKT_FLAG_KEY;
  return Orvane::Proc::DataPacketFF::Create(packet, 0, 0, 0, 0);
}

class TestRegistry : public Orvane::IRegistry {
 public:
  void RegisterMuxerCreator(const boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>& creator) override {
    creators.push_back(creator);
  }
  std::vector<boost::intrusive_ptr<Orvane::Proc::IMuxerCreator>> creators;
};

// Standard output of a shell command.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> buffer;
  while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
  return out;
}

// A path as one word of a shell command.
inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// FFmpeg's decode of every picture of the first video stream (an MP4's edit list ignored), in
// output order: the digest of each, after the output options given (e.g. a pixel format).
inline std::vector<std::string> FrameDigests(const std::filesystem::path& input, const std::string& options = "") {
  const std::string editList = input.extension() == ".mp4" ? " -ignore_editlist 1" : "";
  std::istringstream lines(RunCommand("ffmpeg -nostdin -v error" + editList + " -i " + Quote(input) +
                                      " -map 0:v:0 -fps_mode passthrough " + options + " -f framemd5 - 2>&1"));
  std::vector<std::string> digests;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != '#') digests.push_back(line.substr(line.rfind(' ') + 1));
  return digests;
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
