#include "app/cli/cli_args.h"

#include <cerrno>
#include <cstdlib>

namespace cli {

Args::Args(const std::vector<std::string>& argv, std::set<std::string> flags, std::set<std::string> valued) {
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (optionsEnded || a.size() < 2 || a.rfind("--", 0) != 0) {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (const auto eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
    }
    if (flags.count(name) && !inlineValue) {
      options_.emplace_back(name, "");
    } else if (valued.count(name)) {
      if (inlineValue) {
        options_.emplace_back(name, *inlineValue);
      } else if (i + 1 < argv.size()) {
        options_.emplace_back(name, argv[++i]);
      } else {
        error_ = "option " + name + " needs a value";
        return;
      }
    } else {
      error_ = "unknown option " + a;
      return;
    }
  }
}

bool Args::Has(const std::string& option) const {
  for (const auto& [name, value] : options_)
    if (name == option) return true;
  return false;
}

std::optional<std::string> Args::Value(const std::string& option) const {
  std::optional<std::string> last;
  for (const auto& [name, value] : options_)
    if (name == option) last = value;
  return last;
}

std::vector<std::string> Args::Values(const std::string& option) const {
  std::vector<std::string> all;
  for (const auto& [name, value] : options_)
    if (name == option) all.push_back(value);
  return all;
}

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace cli
