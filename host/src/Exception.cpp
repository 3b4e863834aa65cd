#include "Orvane/Exception.h"

#define UNW_LOCAL_ONLY
#include <dlfcn.h>
#include <libunwind.h>
#include <link.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/stacktrace/frame.hpp>

namespace Orvane {

Exception::~Exception() = default;

namespace {

// Frames beyond these are left out of a call stack; a failure is raised far above them.
constexpr int kMaxFrames = 128;

// The program's own file, which the loader lists without a name.
const std::string& ProgramPath() {
  static const std::string path = [] {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("(program)") : p.string();
  }();
  return path;
}

std::string_view ModuleName(const link_map& module) {
  return module.l_name && module.l_name[0] ? std::string_view(module.l_name) : std::string_view(ProgramPath());
}

// Writes "0x" and the hexadecimal digits of `value` at `out`; gives the end.
char* PutHex(char* out, uintptr_t value) {
  char digits[2 * sizeof value];
  size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value);
  *out++ = '0';
  *out++ = 'x';
  while (count) *out++ = digits[--count];
  return out;
}

// One line of GetCallStack's text: "#3 0x7f1c2a4b5e10 /path/libModule.so+0x5e10".
struct CapturedFrame {
  std::string index, module;
  uintptr_t offset = 0;

  bool Parse(const std::string& line) {
    const size_t space = line.find(' ');
    const size_t moduleStart = space == std::string::npos ? space : line.find(' ', space + 1);
    const size_t plus = line.rfind("+0x");
    if (line.empty() || line[0] != '#' || moduleStart == std::string::npos || plus == std::string::npos ||
        plus <= moduleStart)
      return false;
    index = line.substr(1, space - 1);
    module = line.substr(moduleStart + 1, plus - moduleStart - 1);
    char* end = nullptr;
    offset = std::strtoull(line.c_str() + plus + 3, &end, 16);
    return end && *end == '\0';
  }
};

}  // namespace

// Only the return addresses are taken, through libunwind, which keeps what it learnt of each
// return address from one walk to the next: a walk past frames it has seen before costs a few
// nanoseconds a frame, where the compiler runtime's unwinder reads the unwind tables afresh each
// time. The module and the offset in it, found through the loader's own index, make each line
// readable without this process: names and source lines are looked up only when a person reads
// the stack, by SymbolizeCallStack, which costs tens of microseconds.
std::string GetCallStack() {
  void* frames[kMaxFrames];
  const int count = unw_backtrace(frames, kMaxFrames);
  // The modules first, so that the text is laid out in one allocation.
  std::string_view modules[kMaxFrames];
  uintptr_t bases[kMaxFrames];
  size_t length = 0;
  const link_map* previous = nullptr;
  for (int i = 1; i < count; ++i) {  // from this function's caller on
    dl_find_object found;
    if (_dl_find_object(frames[i], &found) != 0) {
      modules[i] = {};
      continue;
    }
    if (found.dlfo_link_map != previous) {
      previous = found.dlfo_link_map;
      modules[i] = ModuleName(*previous);
    } else {
      modules[i] = modules[i - 1];
    }
    bases[i] = previous->l_addr;
    length += modules[i].size();
  }
  if (count <= 1) return "#0 (no frames could be read)\n";
  // "#N 0xADDRESS MODULE+0xOFFSET\n": at most 4 + 18 + 1 + 19 + 1 characters besides the module's.
  std::string text(length + static_cast<size_t>(count) * 43, '\0');
  char* out = text.data();
  for (int i = 1; i < count; ++i) {
    const auto address = reinterpret_cast<uintptr_t>(frames[i]);
    *out++ = '#';
    out = std::to_chars(out, out + 4, i - 1).ptr;
    *out++ = ' ';
    out = PutHex(out, address);
    if (!modules[i].empty()) {
      *out++ = ' ';
      out = std::copy(modules[i].begin(), modules[i].end(), out);
      *out++ = '+';
      out = PutHex(out, address - bases[i]);
    }
    *out++ = '\n';
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

std::string SymbolizeCallStack(const std::string& callStack) {
  // Where each module of this process is loaded now, so that a frame is found by its module and
  // offset whatever address the module had when the stack was taken.
  std::map<std::string, uintptr_t> loaded;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* modules) {
        const char* name = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : ProgramPath().c_str();
        static_cast<std::map<std::string, uintptr_t>*>(modules)->emplace(name, info->dlpi_addr);
        return 0;
      },
      &loaded);

  std::istringstream lines(callStack);
  std::string line, text;
  while (std::getline(lines, line)) {
    CapturedFrame frame;
    const auto module = frame.Parse(line) ? loaded.find(frame.module) : loaded.end();
    std::string where;
    if (module != loaded.end()) {
      // A return address is the instruction after the call; the one before it is the call's own,
      // which lies in the calling function and line even when the call was its last instruction.
      where = boost::stacktrace::to_string(
          boost::stacktrace::frame(reinterpret_cast<const void*>(module->second + frame.offset - 1)));
    }
    if (where.empty()) {
      text += line + '\n';  // as it was taken: a module not loaded here, or no name for the address
    } else {
      text += '#' + frame.index + ' ' + where + '\n';
    }
  }
  return text;
}

std::string DiagnosticInformation(const boost::exception& e) {
  std::string text = boost::diagnostic_information(e);
  if (const std::string* stack = boost::get_error_info<ErrorCallStack>(e); stack && !stack->empty()) {
    const size_t at = text.find(*stack);
    if (at != std::string::npos) text.replace(at, stack->size(), SymbolizeCallStack(*stack));
  }
  return text;
}

}  // namespace Orvane
