#include "app/kilnbox-sim/sim_endpoint.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kilnsim {
namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return errno == ENOTTY || errno == EINVAL;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

Endpoint::~Endpoint() {
  ReleaseHostEnd();
  if (fd_ >= 0) close(fd_);
}

bool Endpoint::OpenPseudoTerminal(std::string* error) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = SystemError("cannot create a pseudo-terminal");
    return false;
  }
  char name[256];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    *error = SystemError("cannot set up the pseudo-terminal");
    close(fd);
    return false;
  }
  fd_ = fd;
  ownPty_ = true;
  path_ = name;
  // The line settings belong to the terminal, not to an open file: set them
  // through the host's end, and they stay for every later open.
  if (!HoldHostEnd() || !MakeRaw(hostEnd_)) {
    *error = SystemError(std::string("cannot set ") + name + " to raw mode");
    return false;
  }
  return true;
}

bool Endpoint::HoldHostEnd() {
  if (!ownPty_ || hostEnd_ >= 0) return true;
  hostEnd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (hostEnd_ < 0) return false;
  // What the last host left unread would reach the next one: flush it on
  // the host's side, where flushing the master does not reach.
  tcflush(hostEnd_, TCIFLUSH);
  uint8_t scrap[4096];
  while (read(hostEnd_, scrap, sizeof scrap) > 0) {
  }
  return true;
}

void Endpoint::ReleaseHostEnd() {
  if (hostEnd_ < 0) return;
  close(hostEnd_);
  hostEnd_ = -1;
}

bool Endpoint::OpenDevice(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = SystemError("cannot open " + path);
    return false;
  }
  if (!MakeRaw(fd)) {
    *error = SystemError("cannot set " + path + " to raw mode");
    close(fd);
    return false;
  }
  fd_ = fd;
  ownPty_ = false;
  path_ = path;
  return true;
}

Endpoint::ReadResult Endpoint::Read(std::vector<uint8_t>* out, size_t max, std::string* error) {
  out->resize(max);
  for (;;) {
    const ssize_t n = read(fd_, out->data(), max);
    if (n > 0) {
      out->resize(static_cast<size_t>(n));
      return ReadResult::Data;
    }
    out->clear();
    if (n == 0) return ReadResult::HungUp;  // end of file: the other end is gone
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadResult::Nothing;
    if (errno == EIO) return ReadResult::HungUp;
    *error = SystemError("cannot read " + path_);
    return ReadResult::Failed;
  }
}

void Endpoint::Queue(const uint8_t* data, size_t size) { pending_.insert(pending_.end(), data, data + size); }

bool Endpoint::Flush() {
  size_t written = 0;
  bool ok = true;
  while (written < pending_.size()) {
    const ssize_t n = write(fd_, pending_.data() + written, pending_.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    ok = false;
    break;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(written));
  return ok;
}

void Endpoint::Discard() {
  pending_.clear();
  tcflush(fd_, TCIOFLUSH);
}

}  // namespace kilnsim
