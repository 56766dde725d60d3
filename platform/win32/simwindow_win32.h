// The window onto the built-in simulated Kilnbox: its two-line display as
// an LCD and the EPROM in its socket, refreshed a few times a second, with
// buttons to insert a blank EPROM of a chosen type or one holding an image
// file, to erase and to remove it. Neutral header: the window reaches the
// model only through the view's functions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/ui_win32.h"

namespace w32ui {

struct SimulatorView {
  std::function<std::string()> display;   // two lines, '\n' between
  std::function<std::string()> socket;    // the socket described
  std::function<bool()> socketPresent;
  std::vector<std::string> typeNames;
  int defaultType = 0;
  std::function<void(int type)> insertBlank;
  // "" or the reason the file could not go in.
  std::function<std::string(int type, const std::string& path)> insertFile;
  std::function<void()> erase;
  std::function<void()> remove;
};

// Opens the window beside `owner`'s; it lives as long as the program.
void ShowSimulatorWindow(Handle owner, SimulatorView view);

}  // namespace w32ui
