// The device operations as the main window shows them: the status bar's
// parts, the progress bar above it, the message boxes and the Which EPROM
// dialog.
#pragma once

#include "shell/device_controller.h"

class CoreSession;

class WindowDeviceView : public DeviceView {
 public:
  // Shows in `window` and `session`'s status bar; the playback images it
  // rebuilds are the session's.
  WindowDeviceView(HWND window, CoreSession& session) : window_(window), session_(session) {}

  void ShowStatus(int part, const std::string& text) override;
  void ShowCountdown(const std::string& text) override { ShowStatus(1, text); }
  void ShowProgress(long rawBytes) override;
  void StepProgress() override;
  void HideProgress() override;
  void Ask(DeviceQuestion question, const std::string& text, std::function<void(bool)> answered) override;
  void ShowError(const std::string& text) override;
  void MarksChanged() override;
  void ImageChanged() override;
  std::optional<BYTE> ChooseEprom(BYTE current) override;

 private:
  HWND window_;
  CoreSession& session_;
  HWND bar_ = nullptr;
  int progressPosition_ = 0;
  int progressRange_ = 0;
};
