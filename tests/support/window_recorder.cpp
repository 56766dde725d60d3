#include "tests/support/window_recorder.h"

#include <algorithm>

namespace testsupport {

int WindowRecorder::Count(Event event) const {
  return static_cast<int>(std::count_if(log.begin(), log.end(), [event](const Received& r) { return r.event == event; }));
}

std::vector<Event> WindowRecorder::Events(std::initializer_list<Event> only) const {
  std::vector<Event> out;
  for (const Received& r : log)
    if (std::find(only.begin(), only.end(), r.event) != only.end()) out.push_back(r.event);
  return out;
}

std::vector<uintptr_t> WindowRecorder::Values(Event event) const {
  std::vector<uintptr_t> out;
  for (const Received& r : log)
    if (r.event == event) out.push_back(r.value);
  return out;
}

bool WindowRecorder::Created(HWND window) {
  window_ = window;
  log.push_back({Event::Created, 0, {}, plat::GetClientRect(window)});
  return true;
}

void WindowRecorder::Resized() { log.push_back({Event::Resized, 0, {}, plat::GetClientRect(window_)}); }

void WindowRecorder::Paint(Canvas& canvas) {
  log.push_back({Event::Paint});
  ++paints;
  deepestPaint = std::max(deepestPaint, ++paintDepth);
  if (paint) paint(canvas);
  --paintDepth;
}

void WindowRecorder::FilesDropped(const DroppedFiles& files) {
  log.push_back({Event::FilesDropped});
  if (onDrop) onDrop(files);
}

}  // namespace testsupport
