#include "tests/support/window_recorder.h"

#include <algorithm>

namespace testsupport {
namespace {
WindowRecorder* g_recorder = nullptr;
}

int WindowRecorder::Count(UINT msg) const {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [msg](const Received& m) { return m.msg == msg; }));
}

std::vector<UINT> WindowRecorder::Messages(std::initializer_list<UINT> only) const {
  std::vector<UINT> out;
  for (const Received& m : log)
    if (std::find(only.begin(), only.end(), m.msg) != only.end()) out.push_back(m.msg);
  return out;
}

void RecordInto(WindowRecorder* recorder) { g_recorder = recorder; }

LRESULT RecordingWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_recorder == nullptr) return 0;
  WindowRecorder& r = *g_recorder;
  r.log.push_back({msg, wParam, lParam});
  if (msg == WM_CREATE) r.clientAtCreate = plat::GetClientRect(hWnd);
  if (msg == WM_DROPFILES && r.onDrop) r.onDrop(*reinterpret_cast<const DroppedFiles*>(wParam));
  if (msg == WM_PAINT) {
    ++r.paints;
    r.deepestPaint = std::max(r.deepestPaint, ++r.paintDepth);
    if (Canvas* dc = plat::BeginPaint(hWnd)) {
      if (r.paint) r.paint(*dc);
      plat::EndPaint(hWnd, dc);
    }
    --r.paintDepth;
  }
  return 0;
}

}  // namespace testsupport
