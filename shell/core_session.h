// One run of the core. Starting one makes every module's state new; ending
// it frees the buffers. The desktop program, talverine-cli, the tests and the
// fuzz harnesses all start the core this way; one session at a time.
#pragma once

#include "platform/platform.h"

class CoreSession {
 public:
  enum class Setup {
    // The main window's creation allocates the buffers and the status bar,
    // as the program does.
    ForWindow,
    // The buffers and a status bar, for work without a main window:
    // conversions, the loaders and writers on their own.
    WithoutWindow,
  };

  explicit CoreSession(Setup setup = Setup::ForWindow);
  ~CoreSession();
  CoreSession(const CoreSession&) = delete;
  CoreSession& operator=(const CoreSession&) = delete;

  // WithoutWindow: whether the buffers could be had.
  bool ready() const { return ready_; }

 private:
  static inline bool open_ = false;  // whether a session runs
  bool ready_ = true;
};

// Makes every module's state new, as at the start of a run; the buffers stay
// as they are.
void MakeCoreStateNew();
