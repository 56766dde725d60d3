// A main window procedure that records what reaches it, for the tests of the
// back ends' window machinery.
#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/platform.h"

namespace testsupport {

struct Received {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

// What the window procedure saw, and what it is to do on a paint or a drop.
struct WindowRecorder {
  std::vector<Received> log;
  int paints = 0;
  int paintDepth = 0;
  int deepestPaint = 0;
  RECT clientAtCreate{};
  std::function<void(Canvas&)> paint;
  std::function<void(const DroppedFiles&)> onDrop;

  int Count(UINT msg) const;
  // The messages of the kinds in `only`, in the order they came.
  std::vector<UINT> Messages(std::initializer_list<UINT> only) const;
};

// Records into `recorder` (null: nothing) from now on.
void RecordInto(WindowRecorder* recorder);
LRESULT RecordingWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace testsupport
