// The Kilnbox Simulator window as every toolkit shows it: its texts, the
// device's two-line display, the EPROM in the socket, and what each button
// does. The Qt and Win32 windows are translations of this: they lay out
// kButtons beside the list of TypeNames(), show Read() every kRefreshMs
// and hand a click to Do().
//
// Read() and Do() reach the model through KilnboxLink::WithModel, so a
// window may call them while a driver thread runs the device. Plain C++
// that includes no MIDI port or platform header, so that a file that
// includes <windows.h> can use it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace simport {
class KilnboxLink;
}
namespace sim {
struct Socket;
}

namespace simview {

inline constexpr const char* kTitle = "Kilnbox Simulator";
inline constexpr const char* kTypeListLabel = "EPROM type:";
inline constexpr int kRefreshMs = 250;

// The file dialog of "Insert from File...".
inline constexpr const char* kFileDialogTitle = "Insert EPROM from Image File";
inline constexpr const char* kImageFilesName = "EPROM images";
inline constexpr const char* kImageExtensions[] = {"bin", "rom"};
inline constexpr const char* kAllFilesName = "All files";

enum class Action { InsertFromFile, InsertBlank, Erase, Remove };

struct Button {
  Action action;
  const char* id;  // the button's name, for tests
  const char* label;
  int row;     // in the block of buttons beside the type list
  int column;
  bool needsEprom;   // enabled only with an EPROM in the socket
  bool asksForFile;  // the window asks for an image file first
};

inline constexpr Button kButtons[] = {
    {Action::InsertFromFile, "insertFile", "Insert from File...", 0, 0, false, true},
    {Action::InsertBlank, "insertBlank", "Insert Blank", 0, 1, false, false},
    {Action::Erase, "erase", "Erase", 1, 0, true, false},
    {Action::Remove, "remove", "Remove", 1, 1, true, false},
};

// What the window shows at one moment.
struct State {
  std::string display;  // the two display lines, each padded to its width, '\n' between
  std::string socket;   // DescribeSocket()
  bool eprom = false;   // an EPROM is in the socket
  bool Enabled(const Button& button) const { return eprom || !button.needsEprom; }
};

// "2764 (8K)" and so on, in the program's type order (the index is the
// type), and the index the list starts at.
std::vector<std::string> TypeNames();
int DefaultType();

// "Socket: 27128 (16K), programmed" (or "blank") and, on a second line,
// the first bytes and the 16-bit sum of all bytes; "Socket: empty".
std::string DescribeSocket(const sim::Socket& socket);

class SimulatorView {
 public:
  explicit SimulatorView(std::shared_ptr<simport::KilnboxLink> link);

  State Read() const;
  // Does `action`, inserting an EPROM of `type` (an index into TypeNames())
  // and, for InsertFromFile, holding the file at `path`, cut or padded with
  // 0xFF to the type's size. "" when done, else why not: the socket is then
  // left as it was.
  std::string Do(Action action, int type, const std::string& path = "");

 private:
  std::string InsertFromFile(int type, const std::string& path);

  std::shared_ptr<simport::KilnboxLink> link_;
};

}  // namespace simview
