// WM_COMMAND: the menu commands and the per-EPROM buttons.
#pragma once

#include "platform/platform.h"

LRESULT OnCommand(HWND hWnd, WPARAM wParam);
