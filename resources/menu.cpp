#include "resources/menu.h"

#include "resources/command_ids.h"

const std::vector<MenuPopup>& MainMenu() {
  static const std::vector<MenuPopup> menu = {
      {"&File", {{"&Load File", IDM_LOAD_FILE}, {"&Save File", IDM_SAVE_FILE}, {"E&xit", IDM_EXIT}}},
      {"&Options",
       {{"&EPROM Type", IDM_EPROM_TYPE},
        {"&File Format", IDM_FILE_FORMAT},
        {"&MIDI Devices", IDM_MIDI_DEVICES},
        {"&Audio Settings", IDM_AUDIO_SETTINGS}}},
      {"&Kilnbox",
       {{"&Get Kilnbox Data", IDM_GET_DATA},
        {"&Send Kilnbox Data", IDM_SEND_DATA},
        {nullptr, 0},
        {"&Cancel Operation", IDM_CANCEL}}},
      {"&EPROM",
       {{"&Blank Check", IDM_BLANK_CHECK},
        {"&Read EPROM", IDM_READ_EPROM},
        {"&Program EPROM", IDM_PROGRAM_EPROM},
        {"&Verify EPROM", IDM_VERIFY_EPROM},
        {"&Clear checkmarks", IDM_CLEAR_MARKS}}},
      {"&Help", {{"&Help", IDM_HELP}, {"&About", IDM_ABOUT}}},
  };
  return menu;
}
