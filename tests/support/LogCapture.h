#pragma once
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

namespace codec_test {

// glog lines while alive, as "severity text" (0 info, 1 warning, 2 error).
class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
            size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.push_back(std::to_string(severity) + " " + std::string(message, length));
  }
  std::vector<std::string> lines;

 private:
  std::mutex mutex_;
};

}  // namespace codec_test
