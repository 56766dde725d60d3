// WM_COMMAND: the menu commands and the per-EPROM buttons.
#pragma once

#include "platform/platform.h"

class CoreSession;

LRESULT OnCommand(CoreSession& session, HWND hWnd, WPARAM wParam);
