#include "shell/main_window.h"

#include "device/midi.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/commands.h"
#include "shell/device_controller.h"
#include "shell/display.h"
#include "shell/pointer_input.h"
#include "shell/window_device_view.h"

namespace {

void SetStatusParts(HWND hWnd) {
  const RECT client = plat::GetClientRect(hWnd);
  int edges[3];
  StatusPartEdges(client.right - client.left, edges);
  plat::StatusSetParts(hWndStatus, 3, edges);
}

void OnCreate(HWND hWnd) {
  MyWindow = hWnd;
  InitLabelFont();
  hWndStatus = plat::CreateStatusBar(hWnd, ID_STATUS_BAR);
  if (hWndStatus == nullptr) plat::MessageBox(nullptr, "Status Bar not created!", nullptr, MB_OK);
  SetStatusParts(hWnd);
  for (int part = 0; part < 3; ++part) plat::StatusSetText(hWndStatus, part, "");

  if (MidiInit(&MidiInInfo, &MidiOutInfo)) bMidiInit = 1;
  LoadConfig(szCfgName);
  MidiInInfo.uDeviceID = cMidiInDevice;
  MidiOutInfo.uDeviceID = cMidiOutDevice;
  MidiActivateDevice(hWnd, &MidiInInfo, MIDI_OPEN);
  MidiActivateDevice(hWnd, &MidiOutInfo, MIDI_OPEN);

  if (!AllocateBuffers()) plat::MessageBox(hWnd, "Unable to allocate image memory", nullptr, MB_OK);
  // With the controller comes its periodic timer.
  AppState& app = TheAppState();
  app.deviceView = std::make_unique<WindowDeviceView>(hWnd);
  app.devices = std::make_unique<DeviceController>(*app.deviceView, hWnd);
  CreateButttons(hWnd);
}

void OnSize(HWND hWnd) {
  SetStatusParts(hWnd);
  plat::StatusReposition(hWndStatus);
  MoveButtons(hWnd);
}

void OnClose(HWND hWnd) {
  plat::DragAcceptFiles(MyWindow, false);
  if (DeviceController* devices = TheAppState().devices.get()) devices->Shutdown();
  if (bMidiInit == 1) {
    MidiAssignBuffer(nullptr, &MidiInInfo, nullptr, 0, 0);
    MidiActivateDevice(hWnd, &MidiInInfo, MIDI_FORCE_CLOSE);
    MidiActivateDevice(hWnd, &MidiOutInfo, MIDI_FORCE_CLOSE);
  }
  ShutDown();
  plat::PostQuitMessage(0);
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

LRESULT BaseMsgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OnCreate(hWnd); return 0;
    case WM_SIZE: OnSize(hWnd); return 0;
    case WM_CLOSE: OnClose(hWnd); return 0;
    case WM_PAINT: PaintMainWindow(hWnd); return 0;
    case WM_LBUTTONDOWN: OnLeftButtonDown(hWnd, wParam, lParam); return 0;
    case WM_DROPFILES: OnDropFiles(hWnd, reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_COMMAND: return OnCommand(hWnd, wParam);
    default:
      // The device operations' timers.
      if (DeviceController* devices = TheAppState().devices.get()) devices->HandleEvent(message, wParam, lParam);
      return 0;
  }
}

void ShutDown() {
  FreeBuffers();
  plat::ReleaseSingleInstance();
}

int TalverineMain(HINSTANCE instance) {
  if (!plat::AcquireSingleInstance(szAppName)) return 0;
  // Fixed before the window exists, so it is the folder the program was
  // started in.
  helpPath = ResolveHelpPath(plat::GetCurrentDirectory());
  MyInstance = instance;
  HWND window = plat::CreateMainWindow(szAppName, szAppCaption, BaseMsgProc);
  if (window == nullptr) return 0;
  MyWindow = window;
  plat::DragAcceptFiles(MyWindow, true);
  return plat::RunMessageLoop();
}
