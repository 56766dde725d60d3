// The main menu as data: popups and their items in order, with mnemonics
// ('&' before the key letter) and command ids.
#pragma once

#include <vector>

struct MenuItem {
  const char* text;  // nullptr: a separator
  int id;
};

struct MenuPopup {
  const char* text;
  std::vector<MenuItem> items;
};

const std::vector<MenuPopup>& MainMenu();
