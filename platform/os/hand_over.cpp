#include "platform/os/hand_over.h"

namespace os {

namespace {

constexpr char kRaiseLine[] = "raise\n";
constexpr size_t kRaiseLineBytes = sizeof kRaiseLine - 1;

}  // namespace

std::string EncodeHandOver(const std::vector<std::string>& files) {
  std::string request = kRaiseLine;
  size_t taken = 0;
  for (const std::string& file : files) {
    // A name with a NUL in it cannot be a file's; an empty one names none.
    if (file.empty() || file.find('\0') != std::string::npos) continue;
    if (taken == kMaxHandedFiles || request.size() + file.size() + 1 > kMaxHandOverBytes) break;
    request += file;
    request += '\0';
    ++taken;
  }
  return request;
}

std::optional<std::vector<std::string>> DecodeHandOver(const std::string& request) {
  if (request.size() > kMaxHandOverBytes || request.compare(0, kRaiseLineBytes, kRaiseLine) != 0) return std::nullopt;
  std::vector<std::string> files;
  size_t at = kRaiseLineBytes;
  while (at < request.size()) {
    const size_t end = request.find('\0', at);
    if (end == std::string::npos || end == at || files.size() == kMaxHandedFiles) return std::nullopt;
    files.push_back(request.substr(at, end - at));
    at = end + 1;
  }
  return files;
}

}  // namespace os
