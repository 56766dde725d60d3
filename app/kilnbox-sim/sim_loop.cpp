#include "app/kilnbox-sim/sim_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/midi/traffic_log.h"

namespace kilnsim {
namespace {

constexpr size_t kReadChunk = 4096;

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool IsRealTime(uint8_t byte) { return byte >= 0xF8; }

}  // namespace

// --- the traffic log ---------------------------------------------------------

void MessageGrouper::Add(const uint8_t* data, size_t size, uint64_t ms) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = data[i];
    const bool startsMessage = (byte & 0x80) && byte != 0xF7 && !IsRealTime(byte);
    if (startsMessage) Flush(ms);
    bytes_.push_back(byte);
    if (byte == 0xF7) Flush(ms);
  }
  // Short messages have no end marker: they end with the piece they came in.
  if (!bytes_.empty() && bytes_.front() != 0xF0) Flush(ms);
}

void MessageGrouper::Flush(uint64_t ms) {
  if (bytes_.empty()) return;
  if (log_) {
    const std::string line = MidiTrafficLog::FormatLine(ms, outgoing_, bytes_.data(), bytes_.size());
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);
  }
  bytes_.clear();
}

// --- files -------------------------------------------------------------------

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = "cannot write beside " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool written = done == bytes.size() && fsync(fd) == 0;
  const int savedErrno = errno;
  close(fd);
  if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

// --- the loop ----------------------------------------------------------------

SimLoop::SimLoop(sim::Kilnbox& model, Endpoint& endpoint, LoopOptions options)
    : model_(model), endpoint_(endpoint), options_(std::move(options)) {}

SimLoop::~SimLoop() {
  if (log_) std::fclose(log_);
}

bool SimLoop::Start(std::string* error) {
  if (!options_.midiLogPath.empty()) {
    log_ = std::fopen(options_.midiLogPath.c_str(), "w");
    if (log_ == nullptr) {
      *error = "cannot write the MIDI log " + options_.midiLogPath + ": " + std::strerror(errno);
      return false;
    }
  }
  logIn_ = std::make_unique<MessageGrouper>(log_, false);
  logOut_ = std::make_unique<MessageGrouper>(log_, true);
  model_.SetOutput([this](const uint8_t* data, size_t size) {
    logOut_->Add(data, size, NowMs());
    // Nobody at the other end: the bytes go nowhere, as on an open cable.
    if (connected_) endpoint_.Queue(data, size);
  });
  savedSocket_ = model_.GetSocket().contents;
  // A device given to us is in use from the start; a new pseudo-terminal
  // waits for its host.
  connected_ = !endpoint_.IsPseudoTerminal();
  return true;
}

uint64_t SimLoop::NowMs() const {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
}

void SimLoop::ArmFaults() {
  if (!options_.hasFaults || faultsArmed_) return;
  if (model_.GetCounters().transferRequests + 1 < options_.faultFromReply) return;
  model_.SetFaults(options_.faults);
  faultsArmed_ = true;
}

void SimLoop::Advance() {
  ArmFaults();
  model_.RunTo(NowMs());
  // The socket file before anything else goes out: whoever hears from the
  // Kilnbox after a programming, or sees "Program OK" on its display, finds
  // the file written.
  SaveSocketIfProgrammed();
  if (!model_.Sending()) logOut_->Flush(NowMs());
  if (connected_ && !endpoint_.Flush()) HostGone();
  ShowDisplay();
}

void SimLoop::ShowDisplay() {
  const std::string text = TrimRight(model_.DisplayLine(0)) + " | " + TrimRight(model_.DisplayLine(1));
  if (text == shownDisplay_) return;
  shownDisplay_ = text;
  std::printf("display: %s\n", TrimRight(text).c_str());
  std::fflush(stdout);
}

void SimLoop::SaveSocketIfProgrammed() {
  const uint32_t operations = model_.GetCounters().operations;
  if (operations == operationsSeen_) return;
  operationsSeen_ = operations;
  if (model_.GetSocket().contents != savedSocket_) SaveSocket();
}

bool SimLoop::SaveSocket() {
  if (options_.saveSocketPath.empty() || !model_.GetSocket().present) return true;
  std::string error;
  savedSocket_ = model_.GetSocket().contents;
  if (WriteFileAtomically(options_.saveSocketPath, savedSocket_, &error)) return true;
  std::fprintf(stderr, "kilnbox-sim: %s\n", error.c_str());
  return false;
}

void SimLoop::HostGone() {
  logIn_->Flush(NowMs());
  if (!endpoint_.IsPseudoTerminal()) {
    std::fprintf(stderr, "kilnbox-sim: %s was closed\n", endpoint_.Path().c_str());
    ended_ = true;
    return;
  }
  connected_ = false;
  endpoint_.Discard();
  if (options_.exitOnClose) {
    ended_ = true;
  } else if (!endpoint_.HoldHostEnd()) {
    std::fprintf(stderr, "kilnbox-sim: cannot reopen %s\n", endpoint_.Path().c_str());
    exitCode_ = 1;
    ended_ = true;
  }
}

void SimLoop::ReadFromHost() {
  std::vector<uint8_t> chunk;
  for (;;) {
    std::string error;
    switch (endpoint_.Read(&chunk, kReadChunk, &error)) {
      case Endpoint::ReadResult::Data:
        if (!connected_) {
          connected_ = true;
          endpoint_.ReleaseHostEnd();
        }
        TakeMessages(chunk);
        continue;
      case Endpoint::ReadResult::Nothing:
        return;
      case Endpoint::ReadResult::HungUp:
        if (connected_) HostGone();
        return;
      case Endpoint::ReadResult::Failed:
        std::fprintf(stderr, "kilnbox-sim: %s\n", error.c_str());
        exitCode_ = 1;
        ended_ = true;
        return;
    }
  }
}

// One message at a time, so that each shows on the display (a block size
// and a request often arrive together).
void SimLoop::TakeMessages(const std::vector<uint8_t>& chunk) {
  size_t begin = 0;
  while (begin < chunk.size()) {
    const auto endByte = std::find(chunk.begin() + static_cast<std::ptrdiff_t>(begin), chunk.end(), 0xF7);
    const size_t end = endByte == chunk.end() ? chunk.size() : static_cast<size_t>(endByte - chunk.begin()) + 1;
    const uint64_t now = NowMs();
    logIn_->Add(chunk.data() + begin, end - begin, now);
    model_.Receive(chunk.data() + begin, end - begin, now);
    Advance();
    begin = end;
  }
}

int SimLoop::PollTimeout() const {
  int timeout = -1;
  if (const auto due = model_.NextDue()) {
    const uint64_t now = NowMs();
    timeout = *due > now ? static_cast<int>(std::min<uint64_t>(*due - now, 60000)) : 0;
  }
  return timeout;
}

int SimLoop::Run(int stopFd) {
  ShowDisplay();
  while (!ended_) {
    Advance();
    if (ended_) break;
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {endpoint_.Fd(), POLLIN, 0}};
    if (endpoint_.HasPendingOutput()) fds[1].events |= POLLOUT;
    const int ready = poll(fds, 2, PollTimeout());
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "kilnbox-sim: poll: %s\n", std::strerror(errno));
      exitCode_ = 1;
      break;
    }
    if (ready > 0 && fds[0].revents) break;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) ReadFromHost();
  }
  const uint64_t now = NowMs();
  logIn_->Flush(now);
  logOut_->Flush(now);
  if (!SaveSocket()) exitCode_ = 1;
  return exitCode_;
}

}  // namespace kilnsim
