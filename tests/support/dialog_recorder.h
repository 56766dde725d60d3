// A dialog procedure that records what it is sent, for the tests of the
// dialog machinery itself.
#pragma once

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace testsupport {

struct DialogMessage {
  UINT message;
  int id;
  int notification;
  LPARAM lParam;
};
// What RecordingDialogProc was sent, and what it does on WM_INITDIALOG.
extern std::vector<DialogMessage> g_received;
extern std::function<void(HWND)> g_onInit;

// Records what it is sent and ends the dialog on OK (1) and Cancel (2).
INT_PTR RecordingDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
// The ids of the WM_COMMAND messages received with `notification`, in order.
std::vector<int> CommandsReceived(int notification);

}  // namespace testsupport
