#include "shell/main_window.h"

#include "device/midi.h"
#include "resources/command_ids.h"
#include "settings/config.h"
#include "shell/app_state.h"
#include "shell/commands.h"
#include "shell/device_ops.h"
#include "shell/display.h"
#include "shell/pointer_input.h"

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
  TheAppState().timerId = plat::SetTimer(hWnd, ID_TIMER, 320);
  CreateButttons(hWnd);
}

void OnSize(HWND hWnd) {
  SetStatusParts(hWnd);
  plat::StatusReposition(hWndStatus);
  MoveButtons(hWnd);
}

void OnClose(HWND hWnd) {
  plat::DragAcceptFiles(MyWindow, false);
  if (bMidiInit == 1) {
    MidiAssignBuffer(nullptr, &MidiInInfo, nullptr, 0, 0);
    MidiActivateDevice(hWnd, &MidiInInfo, MIDI_FORCE_CLOSE);
    MidiActivateDevice(hWnd, &MidiOutInfo, MIDI_FORCE_CLOSE);
  }
  plat::KillTimer(MyWindow, TheAppState().timerId);
  ShutDown();
  plat::PostQuitMessage(0);
}

// A folder that merely is called "help" (a source tree's, a project's) is
// not this program's help: that one holds the start page.
bool HoldsHelp(const std::string& folder) {
  return plat::GetPathKind(folder + "/help.htm") == Platform::PathKind::Regular;
}

LRESULT Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: OnCreate(hWnd); return 0;
    case WM_SIZE: OnSize(hWnd); return 0;
    case WM_CLOSE: OnClose(hWnd); return 0;
    case WM_PAINT: PaintMainWindow(hWnd); return 0;
    case WM_LBUTTONDOWN: OnLeftButtonDown(hWnd, wParam, lParam); return 0;
    case WM_DROPFILES: OnDropFiles(hWnd, reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_COMMAND: return OnCommand(hWnd, wParam);
    case WM_TIMER:
      if (wParam == ID_TIMER) DeviceTimer(hWnd);
      if (wParam == ID_PAUSE_TIMER) DeviceStepAfterPause(hWnd);
      return 0;
    case MM_MIM_DATA:
    case MM_MIM_LONGDATA: DeviceReply(hWnd, message, lParam); return 0;
    case MM_MIM_ERROR:
    case MM_MIM_LONGERROR: DeviceInputError(hWnd); return 0;
    default: return 0;
  }
}

// While a device operation pauses, the window paints and follows its size,
// and the pause ends on its timer. The periodic timer's ticks are let go, as
// a blocked thread would miss them; everything else waits its turn.
bool RunsDuringAPause(UINT message, WPARAM wParam) {
  return message == WM_PAINT || message == WM_SIZE || (message == WM_TIMER && wParam == ID_PAUSE_TIMER);
}

void Hold(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) return;
  HeldMessage held{message, wParam, lParam, {}};
  // The back end may release a drop once its message has been handled: the
  // files are read now and loaded later.
  if (message == WM_DROPFILES) held.drop = TakeDrop(reinterpret_cast<HDROP>(wParam));
  TheAppState().held.push_back(std::move(held));
}

// Handles what waited for a pause, in the order it came, until a command
// among them pauses again.
void ReleaseHeld(HWND hWnd) {
  AppState& app = TheAppState();
  if (app.releasingHeld) return;
  app.releasingHeld = true;
  while (!DeviceSequencePaused() && !app.held.empty()) {
    const HeldMessage held = std::move(app.held.front());
    app.held.pop_front();
    if (held.drop)
      LoadDroppedFiles(hWnd, *held.drop);
    else
      Dispatch(hWnd, held.message, held.wParam, held.lParam);
  }
  app.releasingHeld = false;
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
  if (DeviceSequencePaused() && !RunsDuringAPause(message, wParam)) {
    Hold(message, wParam, lParam);
    return 0;
  }
  const LRESULT result = Dispatch(hWnd, message, wParam, lParam);
  ReleaseHeld(hWnd);
  return result;
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
