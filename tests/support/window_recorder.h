// A main window that records what reaches it, for the tests of the back
// ends' window machinery.
#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/platform.h"

namespace testsupport {

enum class Event { Created, Resized, Paint, LeftButtonDown, FilesDropped, Command, Timer, CloseRequested };

struct Received {
  Event event;
  uintptr_t value = 0;  // the command's or the timer's id; a click's keys
  POINT at{};           // a click's point
  RECT client{};        // the client area when created or resized
};

// What the window saw, and what it is to do on a paint or a drop.
class WindowRecorder : public WindowEvents {
 public:
  std::vector<Received> log;
  int paints = 0;
  int paintDepth = 0;
  int deepestPaint = 0;
  std::function<void(Canvas&)> paint;
  std::function<void(const DroppedFiles&)> onDrop;

  int Count(Event event) const;
  // The events of the kinds in `only`, in the order they came.
  std::vector<Event> Events(std::initializer_list<Event> only) const;
  // The values (ids, keys) of the events of kind `event`, in order.
  std::vector<uintptr_t> Values(Event event) const;

  bool Created(HWND window) override;
  void Resized() override;
  void Paint(Canvas& canvas) override;
  void LeftButtonDown(POINT at, WPARAM keys) override { log.push_back({Event::LeftButtonDown, keys, at}); }
  void FilesDropped(const DroppedFiles& files) override;
  void Command(int id) override { log.push_back({Event::Command, static_cast<uintptr_t>(id)}); }
  void Timer(UINT id) override { log.push_back({Event::Timer, id}); }
  void CloseRequested() override { log.push_back({Event::CloseRequested}); }

 private:
  HWND window_ = nullptr;
};

}  // namespace testsupport
