#include "shell/file_outcome.h"

#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/playback.h"

namespace {

void Show(const FileText& t, HWND status, HWND mainWindow) {
  if (t.place == FileText::Place::kStatus) {
    plat::StatusSetText(status, 1, t.text.c_str());
    return;
  }
  const char* caption = t.caption.empty() ? nullptr : t.caption.c_str();
  plat::MessageBox(t.ownedByWindow ? mainWindow : nullptr, t.text.c_str(), caption, MB_OK);
}

}  // namespace

void ApplyFileReport(CoreSession& session, const FileReport& report, HWND mainWindow) {
  for (const FileText& t : report.texts) Show(t, session.app.hWndStatus, mainWindow);
  TakeFileResult(session, report);
}

void TakeFileResult(CoreSession& session, const FileReport& report) {
  if (report.detectedRate) {
    session.fileSettings.sample_rate = *report.detectedRate;
    ComputeWAVfromBuffer(session);
  }
}
