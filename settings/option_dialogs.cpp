// The settings dialogs (MIDI, EPROM, file format, audio) and the Which
// EPROM chooser. Each settings dialog changes the session's settings only on
// OK and then saves the configuration; Cancel, Esc and the close box change
// nothing. They work on the context ShowSettingsDialog was given.
#include <cstdio>
#include <string>

#include "device/midi.h"
#include "settings/config.h"
#include "settings/dialogs.h"
#include "resources/app_names.h"

namespace {

// The context of the settings dialog on screen; the dialogs are modal, so
// there is one at most.
SettingsContext* g_shown = nullptr;

// Control ids of the MIDI Options dialog.
constexpr int IDC_MIDI_IN_LIST = 101;
constexpr int IDC_MIDI_OUT_LIST = 102;

// Control ids of the EPROM Options dialog.
constexpr int IDC_EPROM_TYPE_LIST = 11;
constexpr int IDC_ONE_EPROM_ONE_SOUND = 13;
constexpr int IDC_ONE_EPROM_TWO_SOUNDS = 14;
constexpr int IDC_TWO_EPROMS = 15;
constexpr int IDC_FOUR_EPROMS = 16;
constexpr int IDC_FILL_AUDIO = 17;
constexpr int IDC_FILL_DATA = 18;
constexpr int IDC_EPROM_HELP = 9;

// Control ids of the File Options dialog.
constexpr int IDC_FORMAT_BIN = 11;
constexpr int IDC_FORMAT_HEX = 13;

// Control ids of the Which EPROM dialog.
constexpr int IDC_EPROM_1 = 101;
constexpr int IDC_EPROM_3 = 103;
constexpr int IDC_EPROM_4 = 104;

// Control ids of the Audio Options dialog.
constexpr int IDC_SAMPLE_RATE = 11;
constexpr int IDC_AUTO_SCALE = 12;
constexpr int IDC_AUTO_DETECT_RATE = 13;
constexpr int IDC_AUTO_CLEANUP = 14;
constexpr int IDC_RESAMPLE = 16;

constexpr UINT MIN_SAMPLE_RATE = 1200;
constexpr UINT MAX_SAMPLE_RATE = 96000;

constexpr INT_PTR SETTINGS_DIALOG_RESULT = 1;
constexpr INT_PTR WHICH_EPROM_CANCELLED = -1;

const char kEpromHelpCaption[] = "EPROM Options Help";
const char kEpromHelpText[] =
    "EPROM Type:  Select the type of EPROM you want to use in the Kilnbox\n\n"
    "Audio or Data:  Determines the fill value for unused memory spaces.\n"
    "   Audio = 0, Data = FFh\n\n"
    "Drum Sound Organization   -- Examples:\n"
    "   One EPROM, One Sound   -- DMX Bass, Snare, Hi-Hat or Tom\n"
    "   One EPROM, Two Sounds  -- DMX percussion\n"
    "   Two EPROMs, One Sound  -- Custom DMX 1675 voice\n"
    "   Four EPROMs, One Sound -- DMX Crash or Ride\n\n"
    "Your EPROM type and sound organization selections set the size of\n"
    "the memory buffer used by Talverine.";

// Checks `checkId` and clears every other button of `firstId` .. `lastId`.
void CheckRadioButton(HWND hDlg, int firstId, int lastId, int checkId) {
  for (int id = firstId; id <= lastId; ++id) dlg::CheckDlgButton(hDlg, id, id == checkId);
}

// Position of the first checked button of `firstId` .. `lastId`, or -1.
int FirstCheckedButton(HWND hDlg, int firstId, int lastId) {
  for (int id = firstId; id <= lastId; ++id)
    if (dlg::IsDlgButtonChecked(hDlg, id)) return id - firstId;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads an edit box as an unsigned decimal number: blanks around the digits
// are allowed, anything else makes the text read as 0, and a number beyond
// 32 bits reads as the largest value rather than wrapping round.
UINT GetDlgItemInt(HWND hDlg, int id) {
  const std::string text = dlg::GetDlgItemText(hDlg, id);
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  const size_t firstDigit = pos;
  unsigned long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + static_cast<unsigned>(text[pos] - '0');
    if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull + 1;  // stays above the limit
  }
  if (pos == firstDigit) return 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) return 0;
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<UINT>(value);
}

void SetDlgItemInt(HWND hDlg, int id, UINT value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", value);
  dlg::SetDlgItemText(hDlg, id, text);
}

UINT ClampSampleRate(UINT rate) {
  if (rate < MIN_SAMPLE_RATE) return MIN_SAMPLE_RATE;
  if (rate > MAX_SAMPLE_RATE) return MAX_SAMPLE_RATE;
  return rate;
}

void SaveSettings(const SettingsContext& context) { SaveConfig(szCfgName, context.image, context.files); }

// --- MIDI Options -------------------------------------------------------------

// Lists the ports of a kind and selects the one remembered; `names` gets
// what the entries show.
void FillMidiDeviceList(HWND hDlg, int listId, UINT uDeviceType, UINT count, UINT selected,
                        std::vector<std::string>& names) {
  names.clear();
  for (UINT i = 0; i < count; ++i) {
    // A name the platform cannot give leaves an empty entry, so that every
    // entry keeps its device's index.
    char szName[256] = "";
    MidiGetDeviceName(hDlg, uDeviceType, i, szName);
    dlg::DlgListAdd(hDlg, listId, szName);
    names.push_back(szName);
  }
  dlg::DlgListSelect(hDlg, listId, selected < count ? static_cast<int>(selected) : -1);
}

// The port remembered: the one of its name, else (a file without names)
// the one of its number.
UINT RememberedPort(UINT uDeviceType, const std::string& name, UINT number) {
  return name.empty() ? number : MidiFindDevice(uDeviceType, name);
}

// The number stored with a name follows the port, so that the list selects
// it and the next save writes where it stands now.
void OpenRememberedPort(HWND mainWindow, MIDIINFO& info, UINT uDeviceType, const std::string& name, UINT& number) {
  info.uDeviceID = RememberedPort(uDeviceType, name, number);
  if (name.empty() || info.uDeviceID != MIDI_INVALID) {
    number = info.uDeviceID;
    MidiActivateDevice(mainWindow, &info, MIDI_OPEN);
    return;
  }
  // With no port of its kind at all, the start has said so already.
  if (info.uDeviceType != uDeviceType) return;
  const bool input = uDeviceType == MIDI_INPUT;
  const std::string text = std::string("The MIDI ") + (input ? "input" : "output") + " \"" + name +
                           "\" is not connected: choose a port in Options, MIDI Devices.";
  plat::MessageBox(mainWindow, text.c_str(), input ? "MIDI Input Error" : "MIDI Output Error",
                   MB_OK | MB_ICONWARNING);
}

// The name of the entry chosen, as the list showed it. A list without a
// selection (the remembered port is absent) keeps the name remembered, so
// that the port opens again once it is back.
void StoreChosenName(const std::vector<std::string>& names, UINT chosen, std::string& name) {
  if (chosen < names.size()) name = names[chosen];
}

// --- EPROM Options ------------------------------------------------------------

void FillEpromTypeList(HWND hDlg, etEnum selected) {
  for (UINT type = 0; type < etINVALID; ++type) {
    char szEntry[32];
    std::snprintf(szEntry, sizeof szEntry, "%.7s (%3dK)", EPROM_info[type].etName,
                  static_cast<int>(EPROM_info[type].etSizeK));
    dlg::DlgListAdd(hDlg, IDC_EPROM_TYPE_LIST, szEntry);
  }
  dlg::DlgListSelect(hDlg, IDC_EPROM_TYPE_LIST, selected < etINVALID ? static_cast<int>(selected) : -1);
}

int ArrangementButton(eaEnum arrangement) {
  switch (arrangement) {
    case eaOneEpromTwoSounds: return IDC_ONE_EPROM_TWO_SOUNDS;
    case eaTwoEpromsOneSound: return IDC_TWO_EPROMS;
    case eaFourEpromsOneSound: return IDC_FOUR_EPROMS;
    default: return IDC_ONE_EPROM_ONE_SOUND;
  }
}

void InitEpromDialog(HWND hDlg, const ImageModel& image) {
  FillEpromTypeList(hDlg, image.EPROM_type);
  CheckRadioButton(hDlg, IDC_ONE_EPROM_ONE_SOUND, IDC_FOUR_EPROMS, ArrangementButton(image.EPROM_Arrangement));
  // The limits come after the stored arrangement, so that a combination too
  // large for the image (a hand-edited configuration) is reduced to one that
  // fits instead of being offered, disabled but checked, for OK to keep.
  CheckSizeLimits(hDlg, image.EPROM_type);
  CheckRadioButton(hDlg, IDC_FILL_AUDIO, IDC_FILL_DATA, image.cMemoryFillValue == 0 ? IDC_FILL_AUDIO : IDC_FILL_DATA);
}

void StoreEpromSettings(HWND hDlg, ImageModel& image) {
  // A list without a selection keeps the type in use.
  const int type = dlg::DlgListGetSel(hDlg, IDC_EPROM_TYPE_LIST);
  if (type >= 0 && static_cast<UINT>(type) < etINVALID) image.EPROM_type = static_cast<etEnum>(type);
  const int arrangement = FirstCheckedButton(hDlg, IDC_ONE_EPROM_ONE_SOUND, IDC_FOUR_EPROMS);
  if (arrangement >= 0) image.EPROM_Arrangement = static_cast<eaEnum>(arrangement);
  if (dlg::IsDlgButtonChecked(hDlg, IDC_FILL_AUDIO)) image.cMemoryFillValue = 0;
  if (dlg::IsDlgButtonChecked(hDlg, IDC_FILL_DATA)) image.cMemoryFillValue = 0xFF;
}


// --- File Options -------------------------------------------------------------

int FormatButton(UINT format) {
  return format <= 1 ? IDC_FORMAT_BIN + static_cast<int>(format) : IDC_FORMAT_HEX;
}

// --- Audio Options ------------------------------------------------------------

UINT CheckBoxValue(HWND hDlg, int id) { return dlg::IsDlgButtonChecked(hDlg, id) ? 1 : 0; }

void InitAudioDialog(HWND hDlg, const FileSettings& files, OptionDialogsState& old) {
  old.old_sr = files.sample_rate;
  old.oldF1 = files.AutoScale;
  old.oldF2 = files.AutoDetectSampleRate;
  old.oldF3 = files.AutoCleanup;
  old.oldF4 = files.ResampleToPlaybackRate;
  dlg::CheckDlgButton(hDlg, IDC_AUTO_SCALE, files.AutoScale != 0);
  dlg::CheckDlgButton(hDlg, IDC_AUTO_DETECT_RATE, files.AutoDetectSampleRate != 0);
  dlg::CheckDlgButton(hDlg, IDC_AUTO_CLEANUP, files.AutoCleanup != 0);
  dlg::CheckDlgButton(hDlg, IDC_RESAMPLE, files.ResampleToPlaybackRate != 0);
  SetDlgItemInt(hDlg, IDC_SAMPLE_RATE, files.sample_rate);
}

void StoreAudioSettings(HWND hDlg, SettingsContext& context) {
  FileSettings& files = context.files;
  const OptionDialogsState& old = context.dialogs;
  files.sample_rate = ClampSampleRate(GetDlgItemInt(hDlg, IDC_SAMPLE_RATE));
  files.AutoScale = CheckBoxValue(hDlg, IDC_AUTO_SCALE);
  files.AutoDetectSampleRate = CheckBoxValue(hDlg, IDC_AUTO_DETECT_RATE);
  files.AutoCleanup = CheckBoxValue(hDlg, IDC_AUTO_CLEANUP);
  files.ResampleToPlaybackRate = CheckBoxValue(hDlg, IDC_RESAMPLE);
  if (files.sample_rate != old.old_sr || files.AutoScale != old.oldF1 || files.AutoDetectSampleRate != old.oldF2 ||
      files.AutoCleanup != old.oldF3 || files.ResampleToPlaybackRate != old.oldF4)
    SaveSettings(context);
}

}  // namespace

INT_PTR ShowSettingsDialog(HWND owner, int templateId, DLGPROC proc, SettingsContext& context, LPARAM param) {
  SettingsContext* const outer = g_shown;
  g_shown = &context;
  const INT_PTR result = dlg::DialogBoxParam(owner, templateId, proc, param);
  g_shown = outer;
  return result;
}

INT_PTR PrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (g_shown == nullptr) return 0;
  SettingsContext& context = *g_shown;
  ConfigState& chosen = TheConfigState();
  if (message == WM_INITDIALOG) {
    MidiActivateDevice(context.mainWindow, &context.midiIn, MIDI_FORCE_CLOSE);
    MidiActivateDevice(context.mainWindow, &context.midiOut, MIDI_FORCE_CLOSE);
    const MidiLayer& ports = TheMidiLayer();
    FillMidiDeviceList(hDlg, IDC_MIDI_IN_LIST, MIDI_INPUT, ports.uMidiInDevices,
                       RememberedPort(MIDI_INPUT, chosen.midiInName, chosen.cMidiInDevice), context.dialogs.midiInNames);
    FillMidiDeviceList(hDlg, IDC_MIDI_OUT_LIST, MIDI_OUTPUT, ports.uMidiOutDevices,
                       RememberedPort(MIDI_OUTPUT, chosen.midiOutName, chosen.cMidiOutDevice),
                       context.dialogs.midiOutNames);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK:
      // An empty list gives -1, all bits set: no port chosen.
      chosen.cMidiOutDevice = static_cast<UINT>(dlg::DlgListGetSel(hDlg, IDC_MIDI_OUT_LIST));
      chosen.cMidiInDevice = static_cast<UINT>(dlg::DlgListGetSel(hDlg, IDC_MIDI_IN_LIST));
      StoreChosenName(context.dialogs.midiOutNames, chosen.cMidiOutDevice, chosen.midiOutName);
      StoreChosenName(context.dialogs.midiInNames, chosen.cMidiInDevice, chosen.midiInName);
      SaveSettings(context);
      [[fallthrough]];
    case IDCANCEL:
      // As at start-up, aimed at the main window: the dialog is gone when
      // the replies come.
      OpenRememberedMidiPorts(context.mainWindow, context.midiIn, context.midiOut);
      dlg::EndDialog(hDlg, SETTINGS_DIALOG_RESULT);
      return 1;
    default:
      return 0;
  }
}

void OpenRememberedMidiPorts(HWND mainWindow, MIDIINFO& midiIn, MIDIINFO& midiOut) {
  ConfigState& chosen = TheConfigState();
  OpenRememberedPort(mainWindow, midiIn, MIDI_INPUT, chosen.midiInName, chosen.cMidiInDevice);
  OpenRememberedPort(mainWindow, midiOut, MIDI_OUTPUT, chosen.midiOutName, chosen.cMidiOutDevice);
}

void CheckSizeLimits(HWND hDlg, UINT type) {
  if (type >= etINVALID) return;  // no such type: nothing to limit by
  const UINT S = EPROM_info[type].etSizeK;
  if (S > 16) {
    dlg::EnableDlgItem(hDlg, IDC_FOUR_EPROMS, false);
    if (dlg::IsDlgButtonChecked(hDlg, IDC_FOUR_EPROMS))
      CheckRadioButton(hDlg, IDC_ONE_EPROM_ONE_SOUND, IDC_FOUR_EPROMS, IDC_TWO_EPROMS);
  } else {
    dlg::EnableDlgItem(hDlg, IDC_FOUR_EPROMS, true);
    dlg::EnableDlgItem(hDlg, IDC_TWO_EPROMS, true);
  }
  if (S > 32) {
    dlg::EnableDlgItem(hDlg, IDC_TWO_EPROMS, false);
    if (dlg::IsDlgButtonChecked(hDlg, IDC_FOUR_EPROMS) || dlg::IsDlgButtonChecked(hDlg, IDC_TWO_EPROMS))
      CheckRadioButton(hDlg, IDC_ONE_EPROM_ONE_SOUND, IDC_FOUR_EPROMS, IDC_ONE_EPROM_ONE_SOUND);
  } else {
    dlg::EnableDlgItem(hDlg, IDC_TWO_EPROMS, true);
  }
}

INT_PTR EPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (g_shown == nullptr) return 0;
  SettingsContext& context = *g_shown;
  if (message == WM_INITDIALOG) {
    InitEpromDialog(hDlg, context.image);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  const int id = LOWORD(wParam);
  switch (id) {
    case IDC_EPROM_TYPE_LIST:
      CheckSizeLimits(hDlg, static_cast<UINT>(dlg::DlgListGetSel(hDlg, IDC_EPROM_TYPE_LIST)));
      return 1;
    case IDC_ONE_EPROM_ONE_SOUND:
    case IDC_ONE_EPROM_TWO_SOUNDS:
    case IDC_TWO_EPROMS:
    case IDC_FOUR_EPROMS:
      CheckRadioButton(hDlg, IDC_ONE_EPROM_ONE_SOUND, IDC_FOUR_EPROMS, id);
      return 1;
    case IDC_FILL_AUDIO:
    case IDC_FILL_DATA:
      CheckRadioButton(hDlg, IDC_FILL_AUDIO, IDC_FILL_DATA, id);
      return 1;
    case IDC_EPROM_HELP:
      plat::MessageBox(dlg::DialogWindow(hDlg), kEpromHelpText, kEpromHelpCaption, MB_OK);
      return 1;
    case IDOK:
      StoreEpromSettings(hDlg, context.image);
      SaveSettings(context);
      dlg::EndDialog(hDlg, SETTINGS_DIALOG_RESULT);
      return 1;
    case IDCANCEL:
      dlg::EndDialog(hDlg, SETTINGS_DIALOG_RESULT);
      return 1;
    default:
      return 0;
  }
}

INT_PTR FilePrefsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (g_shown == nullptr) return 0;
  SettingsContext& context = *g_shown;
  if (message == WM_INITDIALOG) {
    CheckRadioButton(hDlg, IDC_FORMAT_BIN, IDC_FORMAT_HEX, FormatButton(context.files.DefaultFileFormat));
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  const int id = LOWORD(wParam);
  if (id >= IDC_FORMAT_BIN && id <= IDC_FORMAT_HEX) {
    CheckRadioButton(hDlg, IDC_FORMAT_BIN, IDC_FORMAT_HEX, id);
    return 1;
  }
  if (id == IDOK) {
    const int format = FirstCheckedButton(hDlg, IDC_FORMAT_BIN, IDC_FORMAT_HEX);
    if (format >= 0) context.files.DefaultFileFormat = static_cast<UINT>(format);
    SaveSettings(context);
  }
  if (id == IDOK || id == IDCANCEL) {
    dlg::EndDialog(hDlg, SETTINGS_DIALOG_RESULT);
    return 1;
  }
  return 0;
}

INT_PTR WhichEPROMDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_shown == nullptr) return 0;
  if (message == WM_INITDIALOG) {
    LPARAM sel = lParam < 0 ? 0 : (lParam > 3 ? 3 : lParam);
    if (g_shown->image.EPROM_Arrangement == eaTwoEpromsOneSound) {
      if (sel > 1) sel = 1;
      dlg::EnableDlgItem(hDlg, IDC_EPROM_3, false);
      dlg::EnableDlgItem(hDlg, IDC_EPROM_4, false);
    }
    CheckRadioButton(hDlg, IDC_EPROM_1, IDC_EPROM_4, IDC_EPROM_1 + static_cast<int>(sel));
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  switch (LOWORD(wParam)) {
    case IDOK: {
      // The automatic buttons always leave one checked; should none be,
      // the operation is abandoned rather than aimed at a guessed EPROM.
      const int chosen = FirstCheckedButton(hDlg, IDC_EPROM_1, IDC_EPROM_4);
      dlg::EndDialog(hDlg, chosen >= 0 ? chosen : WHICH_EPROM_CANCELLED);
      return 1;
    }
    case IDCANCEL:
      dlg::EndDialog(hDlg, WHICH_EPROM_CANCELLED);
      return 1;
    default:
      return 0;  // Help has no effect
  }
}

INT_PTR AudioOptionsDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (g_shown == nullptr) return 0;
  SettingsContext& context = *g_shown;
  if (message == WM_INITDIALOG) {
    InitAudioDialog(hDlg, context.files, context.dialogs);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  const int id = LOWORD(wParam);
  if (id == IDOK) StoreAudioSettings(hDlg, context);
  if (id == IDOK || id == IDCANCEL) {
    dlg::EndDialog(hDlg, SETTINGS_DIALOG_RESULT);
    return 1;
  }
  return 0;
}
