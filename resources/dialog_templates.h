// The six option dialogs as data: controls, ids, texts, positions in dialog
// units and styles. Each back end builds its dialogs from these.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

constexpr int IDD_MIDI_OPTIONS = 1;
constexpr int IDD_EPROM_OPTIONS = 2;
constexpr int IDD_FILE_OPTIONS = 3;
constexpr int IDD_CHOOSE_SOUND = 4;
constexpr int IDD_WHICH_EPROM = 5;
constexpr int IDD_AUDIO_OPTIONS = 6;

enum class ControlKind {
  Static,
  GroupBox,
  PushButton,
  DefaultPushButton,
  RadioButton,      // checked by the program
  AutoRadioButton,  // checks itself and clears its group when clicked
  AutoCheckBox,
  Edit,
  DropDownList,
};

// Control styles beyond the kind.
constexpr unsigned CS_VSCROLL = 0x1;       // list with a vertical scroll bar
constexpr unsigned CS_SORTED = 0x2;        // list kept sorted
constexpr unsigned CS_ALIGN_RIGHT = 0x4;   // edit text right-aligned
constexpr unsigned CS_GROUP_START = 0x8;   // first control of a radio group

constexpr int IDC_STATIC = -1;

struct DialogControl {
  ControlKind kind;
  int id;
  const char* text;
  int x, y, w, h;  // dialog units
  unsigned style;
};

struct DialogTemplate {
  int id;
  const char* caption;
  const char* fontFace;   // "MS Sans Serif"
  int fontPoints;         // 8
  int x, y, w, h;         // dialog units
  std::vector<DialogControl> controls;
};

// The template with resource id `id`, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);
const std::vector<DialogTemplate>& AllDialogTemplates();

// The radio group of control `index`: the run of radio buttons of its kind
// from a group start to the next, as [first, last).
std::pair<size_t, size_t> RadioGroup(const DialogTemplate& tpl, size_t index);
