// A small command-line reader: options with and without values, then
// positional arguments.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace cli {

class Args {
 public:
  // `flags` take no value, `valued` take one; anything else starting with
  // "--" is an error.
  Args(const std::vector<std::string>& argv, std::set<std::string> flags, std::set<std::string> valued);
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool Has(const std::string& option) const;
  std::optional<std::string> Value(const std::string& option) const;
  std::vector<std::string> Values(const std::string& option) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::vector<std::pair<std::string, std::string>> options_;
  std::vector<std::string> positional_;
  std::string error_;
};

// A whole decimal number within [low, high], or nullopt.
std::optional<long> ParseNumber(const std::string& text, long low, long high);

}  // namespace cli
