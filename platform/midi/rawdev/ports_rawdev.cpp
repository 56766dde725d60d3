#include "platform/midi/rawdev/ports_rawdev.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <utility>

namespace rawdev {

namespace {

constexpr unsigned kMidiBaud = 31250;
constexpr size_t kReadChunk = 4096;

std::string Reason(int error) { return std::system_category().message(error); }

MidiWriteResult OpenFailure(const std::string& path, int error) {
  uint32_t number = midi_error::kError;
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: number = midi_error::kBadDeviceId; break;
    case EBUSY: number = midi_error::kAllocated; break;
    case ENOMEM: number = midi_error::kNoMemory; break;
    default: break;
  }
  return MidiWriteResult::Failure(number, "Cannot open " + path + ": " + Reason(error));
}

MidiWriteResult WriteFailure(const std::string& path, const std::string& why, bool fatal) {
  return MidiWriteResult::Failure(midi_error::kError, "Cannot write to " + path + ": " + why, fatal);
}

bool IsPseudoTerminal(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned m = major(st.st_rdev);
  // 2 and 3: BSD-style masters and slaves; 128..143: Unix 98 ones.
  return m == 2 || m == 3 || (m >= 128 && m <= 143);
}

void MakeRaw(termios& t) {
  cfmakeraw(&t);
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  t.c_cflag &= ~CRTSCTS;
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

int PollMs(std::chrono::steady_clock::duration left) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, 60000));
}

bool ParseNodeName(const std::string& name, unsigned& card, unsigned& device) {
  int used = 0;
  if (std::sscanf(name.c_str(), "midiC%uD%u%n", &card, &device, &used) != 2) return false;
  return static_cast<size_t>(used) == name.size();
}

std::string IdentityOf(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

void CloseQuietly(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

class LineSettings {
 public:
  // The first port open on the path sets a terminal raw, and a serial port
  // to MIDI's rate when its driver can.
  MidiWriteResult Acquire(int fd, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_++ > 0 || !isatty(fd)) return {};
    termios t;
    if (tcgetattr(fd, &t) != 0) return Undo(path, errno);
    original_ = t;
    MakeRaw(t);
    if (tcsetattr(fd, TCSANOW, &t) != 0) return Undo(path, errno);
    if (!IsPseudoTerminal(fd)) {
      saved_ = true;
      SetCustomLineRate(fd, kMidiBaud);
    }
    return {};
  }

  // The last port closed on a serial port puts its settings back, once the
  // bytes written have left at the rate they were written with.
  void Release(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0 || --users_ > 0 || !saved_) return;
    tcsetattr(fd, TCSADRAIN, &original_);
    saved_ = false;
  }

 private:
  MidiWriteResult Undo(const std::string& path, int error) {
    --users_;
    return MidiWriteResult::Failure(midi_error::kError, "Cannot set " + path + " to raw bytes: " + Reason(error));
  }

  std::mutex mutex_;
  int users_ = 0;
  bool saved_ = false;
  termios original_{};
};

std::vector<std::string> FindRawMidiNodes(const std::string& dir) {
  std::multimap<std::pair<unsigned, unsigned>, std::string> nodes;  // by card and device
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    unsigned card = 0, device = 0;
    if (ParseNodeName(it->path().filename().string(), card, device))
      nodes.emplace(std::pair(card, device), it->path().string());
  }
  std::vector<std::string> paths;
  for (const auto& node : nodes) paths.push_back(node.second);
  return paths;
}

RawMidiInput::RawMidiInput(std::string path, std::shared_ptr<LineSettings> line)
    : path_(std::move(path)), line_(std::move(line)) {}

RawMidiInput::~RawMidiInput() { Close(); }

MidiResult RawMidiInput::Open(MidiByteSink sink) {
  if (reader_.joinable()) return {midi_error::kAllocated, ""};
  fd_ = open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return OpenFailure(path_, errno);
  MidiWriteResult set = line_->Acquire(fd_, path_);
  if (!set.Ok()) {
    CloseQuietly(fd_);
    return set;
  }
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    line_->Release(fd_);
    CloseQuietly(fd_);
    return OpenFailure(path_, error);
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_.clear();
  }
  reader_ = std::thread([this, reader = std::move(sink)] { Read(reader); });
  return {};
}

void RawMidiInput::Close() {
  if (!reader_.joinable()) return;
  const char stop = 1;
  while (write(wakeWrite_, &stop, 1) < 0 && errno == EINTR) {
  }
  reader_.join();
  line_->Release(fd_);
  CloseQuietly(fd_);
  CloseQuietly(wakeRead_);
  CloseQuietly(wakeWrite_);
}

std::string RawMidiInput::Failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void RawMidiInput::Fail(std::string reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  failure_ = "Cannot read from " + path_ + ": " + reason;
}

void RawMidiInput::Read(MidiByteSink sink) {
  uint8_t buffer[kReadChunk];
  for (;;) {
    pollfd polled[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (poll(polled, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Fail(Reason(errno));
    }
    if (polled[1].revents != 0) return;  // Close
    const short seen = polled[0].revents;
    if (seen == 0) continue;
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got > 0) {
      sink(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got == 0) return Fail("the device closed");
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return Fail(Reason(errno));
    // Nothing to read although poll said so: only a hang-up explains it.
    if (seen & (POLLHUP | POLLERR | POLLNVAL)) return Fail("the device hung up");
  }
}

// Blocking writes, so the device's own buffer paces the sender.
class RawWire : public OutputWire {
 public:
  RawWire(std::string path, std::shared_ptr<LineSettings> line, std::chrono::milliseconds stallLimit)
      : path_(std::move(path)), line_(std::move(line)), stallLimit_(stallLimit) {}

  MidiWriteResult Open() override {
    fd_ = open(path_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return OpenFailure(path_, errno);
    MidiWriteResult set = line_->Acquire(fd_, path_);
    if (!set.Ok()) CloseQuietly(fd_);
    return set;
  }

  void Close() override {
    line_->Release(fd_);
    CloseQuietly(fd_);
  }

  MidiWriteResult Probe() override {
    pollfd polled = {fd_, POLLOUT, 0};
    if (poll(&polled, 1, 0) > 0 && (polled.revents & (POLLHUP | POLLERR | POLLNVAL)))
      return WriteFailure(path_, "the device hung up", true);
    return {};
  }

  MidiWriteResult Put(const uint8_t* data, size_t size) override {
    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    bool hungUp = false;
    size_t done = 0;
    while (done < size) {
      const ssize_t wrote = write(fd_, data + done, size - done);
      if (wrote > 0) {
        done += static_cast<size_t>(wrote);
        lastProgress = Clock::now();
        continue;
      }
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0 && errno != EAGAIN) return WriteFailure(path_, Reason(errno), true);
      if (hungUp) return WriteFailure(path_, "the device hung up", true);
      const auto left = stallLimit_ - (Clock::now() - lastProgress);
      if (left <= Clock::duration::zero()) {
        char why[64];
        std::snprintf(why, sizeof why, "no byte was taken for %lld ms",
                      static_cast<long long>(stallLimit_.count()));
        return WriteFailure(path_, why, false);
      }
      pollfd polled = {fd_, POLLOUT, 0};
      if (poll(&polled, 1, PollMs(left)) < 0 && errno != EINTR) return WriteFailure(path_, Reason(errno), true);
      hungUp = (polled.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return {};
  }

 private:
  const std::string path_;
  std::shared_ptr<LineSettings> line_;
  const std::chrono::milliseconds stallLimit_;
  int fd_ = -1;
};

RawDevice MakeRawDevice(const std::string& path, std::chrono::milliseconds stallLimit) {
  auto line = std::make_shared<LineSettings>();
  return {std::make_unique<RawMidiInput>(path, line),
          std::make_unique<WriterOutput>(ShortPortName(path), std::make_unique<RawWire>(path, line, stallLimit))};
}

MidiPortPair AddRawDevice(MidiPortSet& ports, const std::string& path) {
  RawDevice device = MakeRawDevice(path);
  MidiPortPair added;
  added.input = ports.AddInput(std::move(device.input));
  added.output = ports.AddOutput(std::move(device.output));
  return added;
}

void RegisterRawDevices(MidiPortSet& ports, const std::vector<std::string>& paths) {
  std::vector<std::string> all = FindRawMidiNodes();
  all.insert(all.end(), paths.begin(), paths.end());
  std::set<std::string> added;
  for (const std::string& path : all) {
    if (path.empty() || !added.insert(IdentityOf(path)).second) continue;
    AddRawDevice(ports, path);
  }
}

}  // namespace rawdev
