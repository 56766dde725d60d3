// A click on a sound panel plays it; files dropped on the panels load into
// the sections under the drop point.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// What a drop brought: the files' names and where they fell.
struct DroppedFiles {
  std::vector<std::string> names;
  POINT at{};
  bool inClient = false;
};

void OnLeftButtonDown(HWND hWnd, WPARAM keys, LPARAM position);
void OnDropFiles(HWND hWnd, HDROP drop);
// Reads a drop and releases it (DragFinish).
DroppedFiles TakeDrop(HDROP drop);
// Loads the files of a drop taken before.
void LoadDroppedFiles(HWND hWnd, const DroppedFiles& drop);
