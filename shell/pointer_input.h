// A click on a sound panel plays it; files dropped on the panels load into
// the sections under the drop point.
#pragma once

#include "platform/platform.h"

void OnLeftButtonDown(HWND hWnd, WPARAM keys, LPARAM position);
void OnDropFiles(HWND hWnd, HDROP drop);
