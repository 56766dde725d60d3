// The files dropped on a window, as every back end hands them to the window
// procedure: one handle per drop, alive from WM_DROPFILES until DragFinish
// releases it or, at the latest, until the procedure returns. A handle that
// is no longer (or never was) alive reads as an empty drop, outside the
// client area, and is never dereferenced; handles are never reused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat {

class DropList {
 public:
  // Records a drop, hands its handle to `deliver` (which sends WM_DROPFILES)
  // and releases it when `deliver` returns.
  template <typename SendDrop>
  void Deliver(std::vector<std::string> files, POINT at, bool inClient, SendDrop deliver) {
    const HDROP handle = Add(std::move(files), at, inClient);
    deliver(handle);
    Finish(handle);
  }

  UINT Count(HDROP drop) const;
  UINT QueryFile(HDROP drop, UINT index, char* buffer, UINT size) const;
  bool QueryPoint(HDROP drop, POINT* pt) const;
  void Finish(HDROP drop);

 private:
  struct Drop {
    HDROP handle;
    std::vector<std::string> files;
    POINT point;
    bool inClient;
  };
  HDROP Add(std::vector<std::string> files, POINT at, bool inClient);
  const Drop* Live(HDROP drop) const;

  std::vector<Drop> drops_;
  uintptr_t lastHandle_ = 0;
};

}  // namespace plat
