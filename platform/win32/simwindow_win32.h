// The Kilnbox Simulator window on Win32: a tool window translating the
// toolkit-free view (platform/midi/sim/sim_view.h) into controls: the
// device's display as an LCD, the socket's description, the type list and
// the buttons, refreshed a few times a second. Without <windows.h>, so
// that portable files can open it.
#pragma once

#include "platform/midi/sim/sim_view.h"

namespace w32 {

// Opens the window beside the window `owner` (an HWND); it lives as long
// as the program.
void ShowSimulatorWindow(void* owner, simview::SimulatorView view);

}  // namespace w32
