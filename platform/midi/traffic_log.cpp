#include "platform/midi/traffic_log.h"

#include <cerrno>
#include <cstring>

MidiTrafficLog::~MidiTrafficLog() { Stop(); }

bool MidiTrafficLog::Start(const std::string& path, MidiPortSet& ports, Clock clock, std::string* error) {
  Stop();
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    if (error) *error = "cannot write the MIDI log " + path + ": " + std::strerror(errno);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = file;
    clock_ = std::move(clock);
  }
  ports_ = &ports;
  ports.SetMonitor([this](bool outgoing, const uint8_t* data, size_t size) { Record(outgoing, data, size); });
  return true;
}

void MidiTrafficLog::Stop() {
  if (ports_) ports_->SetMonitor(nullptr);
  ports_ = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

std::string MidiTrafficLog::FormatLine(uint64_t ms, bool outgoing, const uint8_t* data, size_t size) {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%9llu.%03llu %s", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000), outgoing ? "out" : "in ");
  std::string line = stamp;
  line.reserve(line.size() + size * 3 + 1);
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < size; ++i) {
    line += ' ';
    line += kHex[data[i] >> 4];
    line += kHex[data[i] & 0x0F];
  }
  line += '\n';
  return line;
}

void MidiTrafficLog::Record(bool outgoing, const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  const std::string line = FormatLine(clock_ ? clock_() : 0, outgoing, data, size);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}
