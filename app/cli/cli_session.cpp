#include "app/cli/cli_session.h"

#include "app/cli/cli_system.h"

namespace cli {
namespace {
std::string g_midiLogPath;
}

void SetMidiLogPath(const std::string& path) { g_midiLogPath = path; }

Session::Session() : core_(CoreSession::Setup::WithoutWindow) {
  platform_->onMessageBox = [this](const headless::MessageBoxRecord& box) {
    WriteErr("talverine-cli: " + box.text + "\n");
    failed_ = true;
    return (box.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
  };
  // A load reports its problems in the status bar's part 1.
  platform_->onStatus = [this](const headless::StatusRecord& status) {
    if (status.part != 1 || status.text.empty()) return;
    std::string text = status.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    WriteErr("talverine-cli: " + text + "\n");
    failed_ = true;
  };
  std::string error;
  if (!g_midiLogPath.empty() &&
      !log_.Start(g_midiLogPath, platform_->Midi(), [this] { return platform_->NowMs(); }, &error))
    Fail(error);
}

Session::~Session() = default;

void Session::Fail(const std::string& text) {
  WriteErr("talverine-cli: " + text + "\n");
  failed_ = true;
}

int Usage(const std::string& problem, const char* usage) {
  if (!problem.empty()) WriteErr("talverine-cli: " + problem + "\n");
  WriteErr(usage);
  return EXIT_USAGE;
}

}  // namespace cli
