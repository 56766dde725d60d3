// The menu commands and the per-EPROM buttons.
#pragma once

#include "platform/platform.h"

class CoreSession;

void OnCommand(CoreSession& session, HWND hWnd, int id);
