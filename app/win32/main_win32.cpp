// talverine.exe: the desktop application on Windows.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop/desktop_start.h"
#include "platform/win32/platform_win32.h"
#include "platform/win32/system_win32.h"

namespace {

const std::string kUsage = desktop::Usage(
    "  --midi-device NAME   a serial port (COM3) or other byte-stream device\n"
    "                       carrying MIDI; may be repeated\n");

// Text for the user: on the console the program was started from, or in a
// box when there is none.
int Tell(const std::string& text, FILE* stream, int code) {
  if (w32::UseParentConsole()) {
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
  } else {
    w32::ShowMessage("Talverine", text);
  }
  return code;
}

}  // namespace

int main() {
  std::string error;
  std::vector<std::string> args = w32::CommandLineArguments();
  if (!args.empty()) args.erase(args.begin());
  std::optional<desktop::Options> options = desktop::ParseOptions(args, &error);
  if (options && !desktop::TakeFiles(options->others, &*options, &error)) options.reset();
  if (!options) return Tell("talverine: " + error + "\n\n" + kUsage, stderr, desktop::kExitUsage);
  if (options->help) return Tell(kUsage, stdout, 0);
  if (options->version) return Tell(std::string("talverine ") + TALVERINE_VERSION + "\n", stdout, 0);

  Win32Platform platform;
  const int code = desktop::Run(platform, *options, &error);
  if (!error.empty()) return Tell("talverine: " + error + "\n", stderr, code);
  return code;
}
