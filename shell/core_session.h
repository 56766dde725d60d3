// One run of the core and everything it works on: the image model, the
// settings, the main window's layout, what the application holds and the
// device controller. The desktop program, talverine-cli, the tests and the
// fuzz harnesses each start the core by making a session, and a new
// session starts from new state; one runs at a time.
//
// Code is handed the parts of the session it uses. The one way in from
// outside is CoreSession::Current(), for the callbacks the platform calls
// with nothing of ours to pass along: the main window procedure
// (BaseMsgProc).
#pragma once

#include <memory>

#include "files/file_settings.h"
#include "platform/platform.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/display.h"
#include "shell/image_model.h"

class DeviceController;
class DeviceView;

class CoreSession {
 public:
  enum class Setup {
    // The main window's creation allocates the buffers and the status bar,
    // as the program does.
    ForWindow,
    // The buffers and a status bar, for work without a main window:
    // conversions, the loaders and writers on their own.
    WithoutWindow,
  };

  explicit CoreSession(Setup setup = Setup::ForWindow);
  ~CoreSession();
  CoreSession(const CoreSession&) = delete;
  CoreSession& operator=(const CoreSession&) = delete;

  // The session that runs; there must be one.
  static CoreSession& Current();

  // WithoutWindow: whether the buffers could be had.
  bool ready() const { return ready_; }

  // Allocates the image and the four transfer and playback buffers (zero
  // filled); true when all five could be had.
  bool AllocateBuffers();
  // Frees them in the order image, playback buffers, receive, send.
  void FreeBuffers();

  // What the settings dialogs work on.
  SettingsContext Settings() {
    return {image, fileSettings, dialogs, app.MyWindow, app.MidiInInfo, app.MidiOutInfo};
  }

  ImageModel image;
  FileSettings fileSettings;
  OptionDialogsState dialogs;
  DisplayLayout layout;
  AppState app;
  // The device operations, made with the main window (or by talverine-cli
  // with its own view); the controller after its view, so that it goes
  // first.
  std::unique_ptr<DeviceView> deviceView;
  std::unique_ptr<DeviceController> devices;

 private:
  static inline CoreSession* current_ = nullptr;
  bool ready_ = true;
};
