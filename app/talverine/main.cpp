// talverine: the desktop application.
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop/desktop_start.h"
#include "platform/qt/platform_qt.h"

namespace {

const std::string kUsage = desktop::Usage(
    "  --midi-device PATH   a raw MIDI byte-stream device (a serial port, a\n"
    "                       pseudo-terminal, /dev/snd/midiC*D*); may be repeated\n",
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are passed on to Qt.\n");

int Usage(const std::string& error) {
  std::fprintf(stderr, "talverine: %s\n\n%s", error.c_str(), kUsage.c_str());
  return desktop::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<desktop::Options> options =
      desktop::ParseOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc), &error);
  if (!options) return Usage(error);
  if (options->help) {
    std::fputs(kUsage.c_str(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("talverine %s\n", TALVERINE_VERSION);
    return 0;
  }

  // Qt takes its own options (single-dash, with their values) out of the
  // list; what is left are files to load, or options nobody knows.
  std::vector<std::string> qtArgs{argc > 0 ? argv[0] : "talverine"};
  qtArgs.insert(qtArgs.end(), options->others.begin(), options->others.end());
  std::vector<char*> qtArgv;
  for (std::string& a : qtArgs) qtArgv.push_back(a.data());
  qtArgv.push_back(nullptr);
  int qtArgc = static_cast<int>(qtArgs.size());
  QApplication app(qtArgc, qtArgv.data());
  QApplication::setApplicationName(QStringLiteral("talverine"));
  QApplication::setApplicationVersion(QStringLiteral(TALVERINE_VERSION));
  if (!desktop::TakeFiles(std::vector<std::string>(qtArgv.begin() + 1, qtArgv.begin() + qtArgc), &*options, &error))
    return Usage(error);

  QtPlatform platform;
  const int code = desktop::Run(platform, *options, &error);
  if (!error.empty()) std::fprintf(stderr, "talverine: %s\n", error.c_str());
  return code;
}
