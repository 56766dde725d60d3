#include "platform/midi/sim/sim_view.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/midi/sim/sim_port.h"
#include "platform/os/os_services.h"

namespace simview {
namespace {

constexpr size_t kFirstBytesShown = 8;

std::string TypeName(int type) {
  const sim::EpromType* info = sim::TypeInfo(type);
  if (info == nullptr) return "?";
  return std::string(info->name) + " (" + std::to_string(info->sizeK) + "K)";
}

std::string DisplayLine(const std::string& text) {
  std::string line = text.substr(0, sim::kDisplayWidth);
  line.resize(sim::kDisplayWidth, ' ');
  return line;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string CannotRead(const std::string& path, int error) {
  return "Cannot read " + path + ": " + std::strerror(error);
}

}  // namespace

std::vector<std::string> TypeNames() {
  std::vector<std::string> names;
  for (int type = 0; sim::TypeInfo(type) != nullptr; ++type) names.push_back(TypeName(type));
  return names;
}

int DefaultType() { return sim::kDefaultType; }

std::string DescribeSocket(const sim::Socket& socket) {
  if (!socket.present) return "Socket: empty";
  const bool blank = std::all_of(socket.contents.begin(), socket.contents.end(), [](uint8_t b) { return b == 0xFF; });
  unsigned sum = 0;
  for (uint8_t b : socket.contents) sum += b;
  std::string first;
  for (size_t i = 0; i < std::min(socket.contents.size(), kFirstBytesShown); ++i)
    first += Hex(socket.contents[i], 2) + " ";
  return "Socket: " + TypeName(socket.type) + ", " + (blank ? "blank" : "programmed") + "\nFirst bytes: " + first +
         "Checksum: " + Hex(sum & 0xFFFF, 4);
}

SimulatorView::SimulatorView(std::shared_ptr<simport::KilnboxLink> link) : link_(std::move(link)) {}

State SimulatorView::Read() const {
  State state;
  link_->WithModel([&](sim::Kilnbox& k) {
    state.display = DisplayLine(k.DisplayLine(0)) + "\n" + DisplayLine(k.DisplayLine(1));
    state.socket = DescribeSocket(k.GetSocket());
    state.eprom = k.GetSocket().present;
  });
  return state;
}

std::string SimulatorView::Do(Action action, int type, const std::string& path) {
  switch (action) {
    case Action::InsertFromFile: return InsertFromFile(type, path);
    case Action::InsertBlank:
      if (sim::TypeInfo(type) == nullptr) return "No such EPROM type.";
      link_->WithModel([type](sim::Kilnbox& k) { k.InsertBlankEprom(type); });
      return "";
    case Action::Erase:
      link_->WithModel([](sim::Kilnbox& k) {
        if (k.GetSocket().present) k.InsertBlankEprom(k.GetSocket().type);
      });
      return "";
    case Action::Remove: link_->WithModel([](sim::Kilnbox& k) { k.RemoveEprom(); }); return "";
  }
  return "";
}

std::string SimulatorView::InsertFromFile(int type, const std::string& path) {
  const sim::EpromType* info = sim::TypeInfo(type);
  if (info == nullptr) return "No such EPROM type.";
  FILE* file = os::OpenFile(path, "rb");
  if (file == nullptr) return CannotRead(path, errno);
  // Only what fits the EPROM is read; a larger file is cut.
  std::vector<uint8_t> contents(static_cast<size_t>(info->sizeK) * 1024);
  contents.resize(std::fread(contents.data(), 1, contents.size(), file));
  const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  if (error != 0) return CannotRead(path, error);
  link_->WithModel([&](sim::Kilnbox& k) { k.InsertEprom(type, std::move(contents)); });
  return "";
}

}  // namespace simview
