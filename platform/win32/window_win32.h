// The option dialogs of the Win32 back end (dialogs_win32.cpp), for
// platform_win32.cpp.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/seam.h"

struct DialogTemplate;

namespace w32 {

// Runs the dialog of `tpl` over `state` until `onEvent` ends it, as the
// seam's ShowDialog.
intptr_t RunDialog(HWND owner, const DialogTemplate& tpl, DialogState& state, const DialogEventHandler& onEvent);
// Whether `dialog` is a dialog of RunDialog that has not been ended.
bool DialogRunning(HWND dialog);
// The innermost such dialog, or null.
HWND ActiveDialog();

}  // namespace w32
