// One running instance per user.
//
// Implements:
// - the lock: an advisory file lock (os::LockSingleInstance) decides who is
//   first, so two starts at the same moment cannot both win;
// - the raise request: the first instance listens on a local socket named
//   from the name and the user id; a later start connects, asks it to raise
//   its window, and gives up.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

class SingleInstance {
 public:
  // `raise` runs in the first instance when a later start asks for it.
  explicit SingleInstance(std::function<void()> raise);
  ~SingleInstance();

  bool Held() const { return locked_; }

  // True when this is the only instance (and on every later call once it
  // holds the lock); otherwise the running one has been asked to raise its
  // window.
  bool Acquire(const char* name);
  void Release();

  // Where the socket of instance `name` lives.
  static QString ServerName(const char* name);

 private:
  void OnConnection();

  std::function<void()> raise_;
  std::unique_ptr<QLocalServer> server_;
  bool locked_ = false;
};
