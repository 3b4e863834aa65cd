#pragma once
// What the command-line programs share about their options: one kind of usage error, and CLI11's
// parse reporting in our words.
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tools {

// Said in one line with a pointer to --help; the program exits with status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// -h and --help, which print the program's own usage text rather than CLI11's.
inline void AddHelpFlag(CLI::App& app, bool& help) {
  app.set_help_flag();
  app.add_flag("-h,--help", help);
}

// Parses the options `app` declares and returns the other arguments (the inputs) in order; an
// unknown option, or an option without its value, is a UsageError. After "--" every argument is
// an input.
inline std::vector<std::string> ParseOptions(CLI::App& app, int argc, char** argv) {
  app.allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    // CLI11 names the option before a colon.
    const std::string what = e.what();
    throw UsageError("option " + what.substr(0, what.find(':')) + " needs a value");
  } catch (const CLI::ParseError& e) {
    throw UsageError(e.what());
  }
  std::vector<std::string> inputs;
  bool optionsEnded = false;
  for (const std::string& extra : app.remaining()) {
    if (!optionsEnded && extra == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && extra.size() > 1 && extra[0] == '-') {
      throw UsageError("unknown option " + extra);
    } else {
      inputs.push_back(extra);
    }
  }
  return inputs;
}

}  // namespace tools
