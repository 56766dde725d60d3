#include "shell/main_window.h"

#include "device/midi.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/commands.h"
#include "shell/core_session.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/pointer_input.h"
#include "shell/window_device_view.h"

namespace {

void SetStatusParts(HWND hWnd, HWND status) {
  const RECT client = plat::GetClientRect(hWnd);
  int edges[3];
  StatusPartEdges(client.right - client.left, edges);
  plat::StatusSetParts(status, 3, edges);
}

void OnCreate(CoreSession& session, HWND hWnd) {
  AppState& app = session.app;
  app.MyWindow = hWnd;
  InitLabelFont(session.layout);
  app.hWndStatus = plat::CreateStatusBar(hWnd, ID_STATUS_BAR);
  if (app.hWndStatus == nullptr) plat::MessageBox(nullptr, "Status Bar not created!", nullptr, MB_OK);
  SetStatusParts(hWnd, app.hWndStatus);
  for (int part = 0; part < 3; ++part) plat::StatusSetText(app.hWndStatus, part, "");

  if (MidiInit(&app.MidiInInfo, &app.MidiOutInfo)) app.bMidiInit = 1;
  LoadConfig(szCfgName, session.image, session.fileSettings);
  OpenRememberedMidiPorts(hWnd, app.MidiInInfo, app.MidiOutInfo);

  if (!session.AllocateBuffers()) plat::MessageBox(hWnd, "Unable to allocate image memory", nullptr, MB_OK);
  // With the controller comes its periodic timer.
  session.deviceView = std::make_unique<WindowDeviceView>(hWnd, session);
  session.devices = std::make_unique<DeviceController>(*session.deviceView, hWnd, session.image, app);
  CreateButttons(hWnd, session.layout, session.image);
}

void OnSize(CoreSession& session, HWND hWnd) {
  SetStatusParts(hWnd, session.app.hWndStatus);
  MoveButtons(hWnd, session.layout, session.image);
}

void OnClose(CoreSession& session, HWND hWnd) {
  plat::DragAcceptFiles(session.app.MyWindow, false);
  if (session.devices) session.devices->Shutdown();
  if (session.app.bMidiInit == 1) {
    MidiAssignBuffer(nullptr, &session.app.MidiInInfo, nullptr, 0, 0);
    MidiActivateDevice(hWnd, &session.app.MidiInInfo, MIDI_FORCE_CLOSE);
    MidiActivateDevice(hWnd, &session.app.MidiOutInfo, MIDI_FORCE_CLOSE);
  }
  ShutDown(session);
  plat::Quit(0);
}

// A folder that merely is called "help" (a source tree's, a project's) is
// not this program's help: that one holds the start page.
bool HoldsHelp(const std::string& folder) {
  return plat::GetPathKind(folder + "/help.htm") == Platform::PathKind::Regular;
}

}  // namespace

void StatusPartEdges(int width, int edges[3]) {
  edges[0] = (width - 20) / 4;
  edges[1] = 3 * (width - 20) / 4;
  edges[2] = -1;
}

std::string ResolveHelpPath(const std::string& startDirectory) {
  const std::string local =
      startDirectory + (!startDirectory.empty() && startDirectory.back() == '/' ? "help" : "/help");
  if (HoldsHelp(local)) return local;
  const std::string installed = plat::GetDataDirectory();
  if (!installed.empty() && HoldsHelp(installed + "/help")) return installed + "/help";
  return local;
}

namespace {

// Each event goes to the session that runs, and to the window it made.
class ProgramWindow final : public WindowEvents {
 public:
  bool Created(HWND window) override {
    OnCreate(Session(), window);
    return true;
  }
  void Resized() override { OnSize(Session(), Window()); }
  void Paint(Canvas& canvas) override {
    CoreSession& session = Session();
    PaintMainWindow(canvas, Window(), session.layout, session.image);
  }
  void LeftButtonDown(POINT at, WPARAM keys) override { OnLeftButtonDown(Session(), Window(), at, keys); }
  void FilesDropped(const DroppedFiles& files) override { OnDropFiles(Session(), Window(), files); }
  void Command(int id) override { OnCommand(Session(), Window(), id); }
  // The device operations' timers.
  void Timer(UINT id) override {
    if (Session().devices) Session().devices->Timer(id);
  }
  void CloseRequested() override { OnClose(Session(), Window()); }

 private:
  static CoreSession& Session() { return CoreSession::Current(); }
  static HWND Window() { return Session().app.MyWindow; }
};

}  // namespace

WindowEvents& MainWindowEvents() {
  static ProgramWindow events;
  return events;
}

void ShutDown(CoreSession& session) {
  session.FreeBuffers();
}

int TalverineMain(CoreSession& session, HINSTANCE instance, const std::vector<std::string>& files) {
  const std::unique_ptr<InstanceLock> only = plat::LockSingleInstance(szAppName, files);
  if (!only) return 0;
  AppState& app = session.app;
  // Fixed before the window exists, so it is the folder the program was
  // started in.
  app.helpPath = ResolveHelpPath(plat::GetCurrentDirectory());
  app.MyInstance = instance;
  HWND window = plat::CreateMainWindow(szAppCaption, MainWindowEvents());
  if (window == nullptr) return 0;
  app.MyWindow = window;
  plat::DragAcceptFiles(app.MyWindow, true);
  if (!files.empty()) {
    // Outside the client area: a drop that starts with the first sound.
    MainWindowEvents().FilesDropped(DroppedFiles{files, {}, false});
  }
  return plat::RunMessageLoop();
}
