// The simulator's end of the cable: a pseudo-terminal it creates, or a
// byte-stream device it is given (a raw MIDI device, a serial port, another
// program's pseudo-terminal). Non-blocking reads and writes, set raw when it
// is a terminal.
//
// A pseudo-terminal outlives the programs that open its other end: when the
// host closes it, the master reports a hang-up, at once and every time it is
// asked, until someone opens it again. So while no host is there the
// simulator holds the host's end open itself (HoldHostEnd): the hang-up goes
// away, and the next host's first bytes wake it like any input. Output is
// dropped meanwhile (as on a cable with nothing at the other end) and what
// the terminal still held is flushed, so the next host reads no stale reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kilnsim {

class Endpoint {
 public:
  Endpoint() = default;
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  // A new pseudo-terminal; Path() names the end for the host to open.
  bool OpenPseudoTerminal(std::string* error);
  // An existing device.
  bool OpenDevice(const std::string& path, std::string* error);

  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  bool IsPseudoTerminal() const { return ownPty_; }

  enum class ReadResult { Data, Nothing, HungUp, Failed };
  // Reads what is there (at most `max` bytes) into `out`.
  ReadResult Read(std::vector<uint8_t>* out, size_t max, std::string* error);

  // Queues bytes for the host and writes what the device takes now.
  void Queue(const uint8_t* data, size_t size);
  // Writes queued bytes; false on a hang-up or error.
  bool Flush();
  bool HasPendingOutput() const { return !pending_.empty(); }
  // Drops queued output and whatever the terminal still holds.
  void Discard();

  // Own pseudo-terminal only: hold the host's end open while no host has it,
  // and let go once one has written.
  bool HoldHostEnd();
  void ReleaseHostEnd();

 private:
  int fd_ = -1;
  int hostEnd_ = -1;
  bool ownPty_ = false;
  std::string path_;
  std::vector<uint8_t> pending_;
};

// Sets a terminal to raw 8-bit mode; true when `fd` is not a terminal too.
bool MakeRaw(int fd);

}  // namespace kilnsim
