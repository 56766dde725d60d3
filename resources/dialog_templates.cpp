#include "resources/dialog_templates.h"

namespace {

using K = ControlKind;

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> t;
  t.push_back({IDD_MIDI_OPTIONS, "MIDI Options", "MS Sans Serif", 8, 0, 0, 196, 118, {
      {K::DropDownList, 101, "", 18, 28, 158, 45, CS_VSCROLL},
      {K::DropDownList, 102, "", 18, 68, 158, 45, CS_VSCROLL},
      {K::DefaultPushButton, 1, "OK", 42, 96, 50, 14, 0},
      {K::PushButton, 2, "Cancel", 102, 96, 50, 14, 0},
      {K::Static, IDC_STATIC, "MIDI In Device", 20, 11, 157, 16, 0},
      {K::Static, IDC_STATIC, "MIDI Out Device", 20, 51, 157, 16, 0},
  }});
  t.push_back({IDD_EPROM_OPTIONS, "EPROM Options", "MS Sans Serif", 8, 0, 0, 276, 118, {
      {K::GroupBox, 10, "EPROM Type", 15, 8, 124, 74, 0},
      {K::DropDownList, 11, "", 29, 24, 96, 59, CS_VSCROLL},
      {K::RadioButton, 17, "Audio", 27, 48, 105, 12, CS_GROUP_START},
      {K::RadioButton, 18, "Data", 27, 64, 105, 12, 0},
      {K::GroupBox, 12, "Drum Sound Organization", 151, 8, 110, 73, 0},
      {K::RadioButton, 13, "One EPROM, One Sound", 155, 18, 99, 15, CS_GROUP_START},
      {K::RadioButton, 14, "One EPROM, Two Sounds", 155, 32, 99, 15, 0},
      {K::RadioButton, 15, "Two EPROMs, One Sound", 155, 46, 99, 15, 0},
      {K::RadioButton, 16, "Four EPROMs, One Sound", 155, 60, 99, 15, 0},
      {K::DefaultPushButton, 1, "OK", 53, 95, 50, 14, 0},
      {K::PushButton, 2, "Cancel", 113, 95, 50, 14, 0},
      {K::PushButton, 9, "Help", 173, 95, 50, 14, 0},
  }});
  t.push_back({IDD_FILE_OPTIONS, "File Options", "MS Sans Serif", 8, 0, 0, 134, 118, {
      {K::GroupBox, 10, "Default File Format", 7, 11, 94, 61, 0},
      {K::RadioButton, 11, "BIN samples", 15, 20, 81, 16, CS_GROUP_START},
      {K::RadioButton, 12, "WAV samples", 15, 37, 80, 16, 0},
      {K::RadioButton, 13, "Intel HEX", 15, 54, 82, 16, 0},
      {K::DefaultPushButton, 1, "OK", 12, 96, 50, 14, 0},
      {K::PushButton, 2, "Cancel", 72, 96, 50, 14, 0},
  }});
  t.push_back({IDD_CHOOSE_SOUND, "Choose Sound", "MS Sans Serif", 8, 0, 0, 200, 118, {
      {K::Edit, 104, "", 10, 4, 179, 13, 0},
      {K::Static, IDC_STATIC, "This file operation will apply to:", 10, 24, 173, 12, 0},
      {K::AutoRadioButton, 101, "Sound 1 of 2", 33, 40, 124, 16, CS_GROUP_START},
      {K::AutoRadioButton, 102, "Sound 2 of 2", 33, 56, 124, 16, 0},
      {K::AutoRadioButton, 103, "Both Sounds", 33, 72, 124, 16, 0},
      {K::DefaultPushButton, 1, "OK", 72, 96, 50, 14, 0},
  }});
  t.push_back({IDD_WHICH_EPROM, "Which EPROM", "MS Sans Serif", 8, 0, 0, 190, 118, {
      {K::GroupBox, 10, "Select EPROM", 9, 11, 167, 77, 0},
      {K::AutoRadioButton, 101, "EPROM 1", 26, 26, 149, 14, CS_GROUP_START},
      {K::AutoRadioButton, 102, "EPROM 2", 26, 40, 149, 14, 0},
      {K::AutoRadioButton, 103, "EPROM 3", 26, 54, 149, 14, 0},
      {K::AutoRadioButton, 104, "EPROM 4", 26, 68, 149, 14, 0},
      {K::DefaultPushButton, 1, "OK", 12, 96, 50, 14, 0},
      {K::PushButton, 2, "Cancel", 72, 96, 50, 14, 0},
      {K::PushButton, 9, "Help", 132, 96, 50, 14, 0},
  }});
  // The resampling check box came later: under the others, the group and
  // the dialog grown by its 16 units.
  t.push_back({IDD_AUDIO_OPTIONS, "Audio Options", "MS Sans Serif", 8, 0, 0, 194, 148, {
      {K::GroupBox, 10, "Playback Sample Rate", 9, 4, 175, 30, 0},
      {K::Edit, 11, "", 21, 16, 66, 14, CS_ALIGN_RIGHT},
      {K::Static, IDC_STATIC, "Hz", 91, 16, 54, 14, 0},
      {K::GroupBox, 15, "On File Load:", 9, 41, 175, 77, 0},
      {K::AutoCheckBox, 12, " Auto Scale WAV Files", 26, 51, 142, 14, 0},
      {K::AutoCheckBox, 14, " Auto Zero First Two Bytes", 26, 67, 142, 14, 0},
      {K::AutoCheckBox, 13, " Auto Detect BIN File Sample Rate", 26, 83, 142, 14, 0},
      {K::AutoCheckBox, 16, "Resample to the playback rate", 26, 99, 142, 14, 0},
      {K::DefaultPushButton, 1, "OK", 42, 126, 50, 14, 0},
      {K::PushButton, 2, "Cancel", 102, 126, 50, 14, 0},
  }});
  return t;
}

}  // namespace

const std::vector<DialogTemplate>& AllDialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : AllDialogTemplates())
    if (t.id == id) return &t;
  return nullptr;
}

std::pair<size_t, size_t> RadioGroup(const DialogTemplate& tpl, size_t index) {
  const auto& c = tpl.controls;
  const ControlKind kind = c[index].kind;
  size_t first = index;
  while (first > 0 && !(c[first].style & CS_GROUP_START) && c[first - 1].kind == kind) --first;
  size_t last = index + 1;
  while (last < c.size() && c[last].kind == kind && !(c[last].style & CS_GROUP_START)) ++last;
  return {first, last};
}
