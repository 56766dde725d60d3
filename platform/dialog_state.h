// What a dialog built from a template in resources/ shows, as plain data:
// the window system shows it and reports what the user does to it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct PlatWindow;  // a window of a back end, defined by it

// One control of a dialog on screen.
struct DialogItem {
  std::string text;                  // a label's, a button's or an edit box's
  bool checked = false;              // radio buttons and check boxes
  bool enabled = true;
  std::vector<std::string> entries;  // a drop-down list's, in order
  int selection = -1;                // the entry chosen; -1: none
};

// A dialog on screen, its controls by id (the statics, which share one id,
// keep their template's text).
struct DialogState {
  std::map<int, DialogItem> items;
  bool ended = false;
  intptr_t result = 0;
  PlatWindow* window = nullptr;  // the dialog's own window while shown: the owner of the boxes it opens
};

// What the user did to control `id`: a click on a button (Enter is one on
// the default button; Esc and the close box one on IDCANCEL), a choice in
// a list, typing in an edit box.
enum class DialogEvent { Click, Select, Edit };
using DialogEventHandler = std::function<void(int id, DialogEvent event)>;
