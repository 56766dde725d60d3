#include "shell/window_device_view.h"

#include "resources/dialog_templates.h"
#include "settings/dialogs.h"
#include "shell/core_session.h"
#include "shell/playback.h"

void WindowDeviceView::ShowStatus(int part, const std::string& text) {
  plat::StatusSetText(session_.app.hWndStatus, part, text.c_str());
}

// At the client area's left edge, 44 pixels above its bottom, as wide as
// the client area and 24 pixels high; a step for every 1000 bytes.
void WindowDeviceView::ShowProgress(long rawBytes) {
  HideProgress();
  const RECT client = plat::GetClientRect(window_);
  bar_ = plat::CreateProgressBar(window_, client.left, client.bottom - 44, client.right, 24);
  const unsigned long steps = static_cast<unsigned long>(rawBytes > 0 ? rawBytes : 0) / 1000 + 1;
  progressRange_ = static_cast<int>(steps & 0xFFFF);
  progressPosition_ = 0;
  plat::ProgressSet(bar_, progressPosition_, progressRange_);
}

// A full bar starts over from empty.
void WindowDeviceView::StepProgress() {
  if (!bar_) return;
  if (++progressPosition_ > progressRange_) progressPosition_ = 0;
  plat::ProgressSet(bar_, progressPosition_, progressRange_);
}

void WindowDeviceView::HideProgress() {
  if (bar_) plat::DestroyWindow(bar_);
  bar_ = nullptr;
}

void WindowDeviceView::Ask(DeviceQuestion question, const std::string& text, std::function<void(bool)> answered) {
  switch (question) {
    case DeviceQuestion::ProgrammedOk:
      answered(plat::MessageBox(window_, text.c_str(), "Programming...", MB_YESNO) == IDYES);
      return;
    case DeviceQuestion::BlankCheckNotice:
      plat::MessageBox(window_, text.c_str(), "Blank Checking...", MB_ICONINFORMATION | MB_OK);
      break;
    case DeviceQuestion::VerifyDifference:
      plat::MessageBox(nullptr, text.c_str(), nullptr, MB_OK);
      break;
  }
  answered(true);
}

void WindowDeviceView::ShowError(const std::string& text) { plat::MessageBox(window_, text.c_str(), nullptr, MB_OK); }

void WindowDeviceView::MarksChanged() { plat::InvalidateRect(window_, true); }

void WindowDeviceView::ImageChanged() {
  ComputeWAVfromBuffer(session_);
  plat::InvalidateRect(window_, true);
}

std::optional<BYTE> WindowDeviceView::ChooseEprom(BYTE current) {
  SettingsContext settings = session_.Settings();
  const INT_PTR choice = ShowSettingsDialog(window_, IDD_WHICH_EPROM, WhichEPROMDialog, settings, current);
  if (choice < 0) return std::nullopt;
  return static_cast<BYTE>(choice);
}
