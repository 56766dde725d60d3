// The option dialogs: each template of resources/dialog_templates.h turned
// into a DLGTEMPLATE in memory and run with DialogBoxIndirectParam; the
// program's dialog procedure gets WM_INITDIALOG and WM_COMMAND, and
// Windows' own dialog manager does the rest (Esc and the close box are
// IDCANCEL, automatic radio buttons check themselves within their group).
// Only a dialog that runs is touched, and only the user's changes notify:
// the program's own setting of a text sends no EN_CHANGE.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/text_win32.h"
#include "platform/win32/ui_win32.h"
#include "resources/dialog_templates.h"

namespace w32ui {
namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// A DLGTEMPLATE and its items, WORD by WORD.
class TemplateWriter {
 public:
  void Dword(DWORD v) {
    Word(LOWORD(v));
    Word(HIWORD(v));
  }
  void Word(WORD v) { words_.push_back(v); }
  void Text(const std::string& text) {
    for (wchar_t c : w32::Wide(text)) Word(static_cast<WORD>(c));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2) Word(0);
  }
  const WORD* Data() const { return words_.data(); }

 private:
  std::vector<WORD> words_;
};

struct ControlStyle {
  WORD cls;
  DWORD style;
};

ControlStyle StyleOf(const DialogControl& c) {
  const DWORD group = (c.style & CS_GROUP_START) ? WS_GROUP | WS_TABSTOP : 0;
  switch (c.kind) {
    case ControlKind::Static: return {kStaticClass, SS_LEFT | WS_GROUP};
    case ControlKind::GroupBox: return {kButtonClass, BS_GROUPBOX | WS_GROUP};
    case ControlKind::PushButton: return {kButtonClass, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP};
    case ControlKind::DefaultPushButton: return {kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP};
    case ControlKind::RadioButton: return {kButtonClass, BS_RADIOBUTTON | group};
    case ControlKind::AutoRadioButton: return {kButtonClass, BS_AUTORADIOBUTTON | group};
    case ControlKind::AutoCheckBox: return {kButtonClass, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP};
    case ControlKind::Edit:
      return {kEditClass,
              static_cast<DWORD>(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP |
                                 ((c.style & CS_ALIGN_RIGHT) ? ES_RIGHT : ES_LEFT))};
    case ControlKind::DropDownList:
      return {kComboBoxClass, static_cast<DWORD>(CBS_DROPDOWNLIST | WS_TABSTOP | WS_GROUP |
                                                 ((c.style & CS_VSCROLL) ? WS_VSCROLL : 0) |
                                                 ((c.style & CS_SORTED) ? CBS_SORT : 0))};
  }
  return {kStaticClass, SS_LEFT};
}

TemplateWriter BuildTemplate(const DialogTemplate& tpl) {
  TemplateWriter t;
  t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  t.Dword(0);
  t.Word(static_cast<WORD>(tpl.controls.size()));
  for (int v : {tpl.x, tpl.y, tpl.w, tpl.h}) t.Word(static_cast<WORD>(static_cast<short>(v)));
  t.Word(0);  // no menu
  t.Word(0);  // the dialog class
  t.Text(tpl.caption ? tpl.caption : "");
  t.Word(static_cast<WORD>(tpl.fontPoints > 0 ? tpl.fontPoints : 8));
  t.Text(tpl.fontFace ? tpl.fontFace : "MS Shell Dlg");
  for (const DialogControl& c : tpl.controls) {
    t.AlignToDword();
    const ControlStyle style = StyleOf(c);
    t.Dword(WS_CHILD | WS_VISIBLE | style.style);
    t.Dword(0);
    for (int v : {c.x, c.y, c.w, c.h}) t.Word(static_cast<WORD>(static_cast<short>(v)));
    t.Word(static_cast<WORD>(c.id));
    t.Word(0xFFFF);
    t.Word(style.cls);
    t.Text(c.text ? c.text : "");
    t.Word(0);  // no creation data
  }
  return t;
}

struct Running {
  Procedure procedure;
  intptr_t param;
  HWND dialog = nullptr;
  bool ended = false;
};

// The dialogs running, innermost last.
std::vector<Running*> g_running;
// The edit control whose text the program is setting.
HWND g_settingText = nullptr;

Running* Find(Handle dialog) {
  for (Running* r : g_running)
    if (r->dialog != nullptr && r->dialog == static_cast<HWND>(dialog)) return r;
  return nullptr;
}

INT_PTR CALLBACK DialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* running = reinterpret_cast<Running*>(lParam);
    running->dialog = hDlg;
    SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
    return running->procedure(hDlg, msg, wParam, running->param);
  }
  auto* running = reinterpret_cast<Running*>(GetWindowLongPtrW(hDlg, DWLP_USER));
  if (running == nullptr || msg != WM_COMMAND) return FALSE;
  if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == g_settingText) return TRUE;
  return running->procedure(hDlg, msg, wParam, lParam);
}

HWND Item(Handle dialog, int id) { return Find(dialog) ? GetDlgItem(static_cast<HWND>(dialog), id) : nullptr; }

}  // namespace

intptr_t RunDialog(Handle owner, const DialogTemplate& tpl, Procedure procedure, intptr_t param) {
  const TemplateWriter built = BuildTemplate(tpl);
  Running running{std::move(procedure), param};
  g_running.push_back(&running);
  const intptr_t result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                  reinterpret_cast<LPCDLGTEMPLATEW>(built.Data()),
                                                  static_cast<HWND>(owner), DialogProc,
                                                  reinterpret_cast<LPARAM>(&running));
  g_running.pop_back();
  return result;
}

bool DialogRunning(Handle dialog) {
  const Running* r = Find(dialog);
  return r != nullptr && !r->ended;
}

Handle ActiveDialog() {
  for (auto it = g_running.rbegin(); it != g_running.rend(); ++it)
    if ((*it)->dialog != nullptr && !(*it)->ended) return (*it)->dialog;
  return nullptr;
}

void EndDialog(Handle dialog, intptr_t result) {
  Running* r = Find(dialog);
  if (r == nullptr) return;
  r->ended = true;
  ::EndDialog(r->dialog, result);
}

void ListAdd(Handle dialog, int id, const std::string& text) {
  const std::wstring wide = w32::Wide(text);
  SendMessageW(Item(dialog, id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void ListSelect(Handle dialog, int id, int index) {
  HWND list = Item(dialog, id);
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  SendMessageW(list, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

int ListSelection(Handle dialog, int id) {
  HWND list = Item(dialog, id);
  if (list == nullptr) return -1;
  const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void SetItemText(Handle dialog, int id, const std::string& text) {
  HWND item = Item(dialog, id);
  if (item == nullptr) return;
  g_settingText = item;
  SetWindowTextW(item, w32::Wide(text).c_str());
  g_settingText = nullptr;
}

std::string GetItemText(Handle dialog, int id) {
  HWND item = Item(dialog, id);
  if (item == nullptr) return "";
  std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1);
  const int n = GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
  return w32::Utf8(text.data(), static_cast<size_t>(std::max(n, 0)));
}

void CheckButton(Handle dialog, int id, bool checked) {
  if (HWND item = Item(dialog, id)) SendMessageW(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsButtonChecked(Handle dialog, int id) {
  HWND item = Item(dialog, id);
  return item != nullptr && SendMessageW(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void EnableItem(Handle dialog, int id, bool enabled) {
  if (HWND item = Item(dialog, id)) EnableWindow(item, enabled);
}

}  // namespace w32ui
