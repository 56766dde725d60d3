#include "platform/win32/simulator_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/os/os_services.h"
#include "platform/win32/simwindow_win32.h"

namespace {

// The model is polled when it has something due, and at least this often,
// so that a message handed to it is taken up at once.
constexpr uint64_t kLongestPollGapMs = 20;
constexpr size_t kFirstBytesShown = 8;

simport::KilnboxLink::Clock SteadyClock() {
  const auto epoch = std::chrono::steady_clock::now();
  return [epoch] {
    const auto elapsed = std::chrono::steady_clock::now() - epoch;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  };
}

std::string TypeLabel(int type) {
  const sim::EpromType* info = sim::TypeInfo(type);
  if (info == nullptr) return "?";
  return std::string(info->name) + " (" + std::to_string(info->sizeK) + "K)";
}

std::string LcdLine(const std::string& text) {
  std::string line = text.substr(0, sim::kDisplayWidth);
  line.resize(sim::kDisplayWidth, ' ');
  return line;
}

// The link with its two ports at the end of the lists, before the driver
// runs it.
std::shared_ptr<simport::KilnboxLink> RegisteredLink(MidiPortSet& ports, double speed) {
  auto link = std::make_shared<simport::KilnboxLink>(SteadyClock(), speed);
  simport::RegisterPorts(ports, link);
  return link;
}

}  // namespace

std::string DescribeSocket(const sim::Socket& socket) {
  if (!socket.present) return "Socket: empty";
  const bool blank = std::all_of(socket.contents.begin(), socket.contents.end(), [](uint8_t b) { return b == 0xFF; });
  unsigned sum = 0;
  for (uint8_t b : socket.contents) sum += b;
  std::string first;
  char hex[8];
  for (size_t i = 0; i < std::min(socket.contents.size(), kFirstBytesShown); ++i) {
    std::snprintf(hex, sizeof hex, "%02X ", socket.contents[i]);
    first += hex;
  }
  std::snprintf(hex, sizeof hex, "%04X", sum & 0xFFFF);
  return "Socket: " + TypeLabel(socket.type) + ", " + (blank ? "blank" : "programmed") + "\nFirst bytes: " + first +
         "Checksum: " + hex;
}

Win32SimulatedKilnbox::Win32SimulatedKilnbox(MidiPortSet& ports, double speed)
    : link_(RegisteredLink(ports, speed)),
      driver_([this] { Drive(); }) {}

Win32SimulatedKilnbox::~Win32SimulatedKilnbox() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  driver_.join();
}

void Win32SimulatedKilnbox::Drive() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    link_->Poll();
    const std::optional<uint64_t> due = link_->MsUntilDue();
    const uint64_t wait = due ? std::min(*due, kLongestPollGapMs) : kLongestPollGapMs;
    lock.lock();
    stop_.wait_for(lock, std::chrono::milliseconds(wait), [this] { return stopping_; });
  }
}

void Win32SimulatedKilnbox::ShowWindow(void* owner) {
  std::shared_ptr<simport::KilnboxLink> link = link_;
  w32ui::SimulatorView view;
  view.display = [link] {
    std::string text;
    link->WithModel([&](sim::Kilnbox& k) { text = LcdLine(k.DisplayLine(0)) + "\n" + LcdLine(k.DisplayLine(1)); });
    return text;
  };
  view.socket = [link] {
    sim::Socket socket;
    link->WithModel([&](sim::Kilnbox& k) { socket = k.GetSocket(); });
    return DescribeSocket(socket);
  };
  view.socketPresent = [link] {
    bool present = false;
    link->WithModel([&](sim::Kilnbox& k) { present = k.GetSocket().present; });
    return present;
  };
  for (int type = 0; sim::TypeInfo(type) != nullptr; ++type) view.typeNames.push_back(TypeLabel(type));
  view.defaultType = sim::kDefaultType;
  view.insertBlank = [link](int type) { link->WithModel([type](sim::Kilnbox& k) { k.InsertBlankEprom(type); }); };
  view.insertFile = [link](int type, const std::string& path) -> std::string {
    const sim::EpromType* info = sim::TypeInfo(type);
    if (info == nullptr) return "No such EPROM type.";
    FILE* file = os::OpenFile(path, "rb");
    if (file == nullptr) return "Cannot read " + path;
    // Only what fits the EPROM is read; a larger file is cut.
    std::vector<uint8_t> contents(static_cast<size_t>(info->sizeK) * 1024);
    contents.resize(std::fread(contents.data(), 1, contents.size(), file));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return "Cannot read " + path;
    link->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(type, std::move(contents)); });
    return "";
  };
  view.erase = [link] {
    link->WithModel([](sim::Kilnbox& k) {
      if (k.GetSocket().present) k.InsertBlankEprom(k.GetSocket().type);
    });
  };
  view.remove = [link] { link->WithModel([](sim::Kilnbox& k) { k.RemoveEprom(); }); };
  w32ui::ShowSimulatorWindow(owner, std::move(view));
}
