// One running instance per user.
//
// Implements:
// - the lock: an advisory file lock (os::LockSingleInstance) decides who is
//   first, so two starts at the same moment cannot both win;
// - the hand-over: the first instance listens on a local socket named from
//   the name and the user id; a later start connects, sends its request
//   (platform/os/hand_over.h: raise, and the files to load), disconnects
//   and gives up. The first reads a request whole, up to the disconnect,
//   before it acts on it.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

class SingleInstance {
 public:
  using Files = std::vector<std::string>;
  // `raise` runs in the first instance when a later start asks for it,
  // then `load` with the files it handed over, if any; both from the loop.
  explicit SingleInstance(std::function<void()> raise, std::function<void(Files)> load = {});
  ~SingleInstance();

  bool Held() const { return locked_; }

  // True when this is the only instance (and on every later call once it
  // holds the lock); otherwise the running one has been asked to raise its
  // window and been handed `files`.
  bool Acquire(const char* name, const Files& files = {});
  void Release();

  // Where the socket of instance `name` lives.
  static QString ServerName(const char* name);

 private:
  void OnConnection();
  void Serve(QLocalSocket* socket);

  std::function<void()> raise_;
  std::function<void(Files)> load_;
  std::unique_ptr<QLocalServer> server_;
  bool locked_ = false;
};
