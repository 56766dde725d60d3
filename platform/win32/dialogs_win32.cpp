// The option dialogs: each template of resources/dialog_templates.h turned
// into a DLGTEMPLATE in memory and run with DialogBoxIndirectParam over a
// DialogState. Windows' own dialog manager does the keyboard (Enter, Esc
// and the close box are IDOK and IDCANCEL, arrows move within a group);
// what the controls show, checks included, comes from the state after each
// event. Only the user's changes are reported: what the program shows
// notifies nothing.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/text_win32.h"
#include "platform/win32/window_win32.h"
#include "resources/dialog_templates.h"

namespace w32 {
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
    // Windows' arrow keys click only this kind within its group; the check
    // it sets by itself is the one the program sets too.
    case ControlKind::AutoRadioButton: return {kButtonClass, BS_AUTORADIOBUTTON | group};
    case ControlKind::AutoCheckBox: return {kButtonClass, BS_CHECKBOX | WS_TABSTOP | WS_GROUP};
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
  const DialogTemplate& tpl;
  DialogState& state;
  const DialogEventHandler& onEvent;
  HWND dialog = nullptr;
  bool showing = false;  // the controls' notifications now are the program's doing
};

// The dialogs running, innermost last.
std::vector<Running*> g_running;

Running* Find(HWND dialog) {
  for (Running* r : g_running)
    if (r->dialog != nullptr && r->dialog == dialog) return r;
  return nullptr;
}

std::string WindowText(HWND window) {
  std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1);
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return w32::Utf8(text.data(), static_cast<size_t>(std::max(n, 0)));
}

void ShowText(HWND window, const std::string& text) {
  if (WindowText(window) != text) SetWindowTextW(window, w32::Wide(text).c_str());
}

void ShowList(HWND list, const DialogItem& item) {
  bool same = SendMessageW(list, CB_GETCOUNT, 0, 0) == static_cast<LRESULT>(item.entries.size());
  for (size_t i = 0; same && i < item.entries.size(); ++i) {
    std::vector<wchar_t> entry(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)) + 1);
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    same = w32::Utf8(entry.data(), wcslen(entry.data())) == item.entries[i];
  }
  if (!same) {
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& e : item.entries)
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w32::Wide(e).c_str()));
  }
  const int count = static_cast<int>(item.entries.size());
  SendMessageW(list, CB_SETCURSEL, item.selection >= 0 && item.selection < count ? item.selection : -1, 0);
}

bool Checkable(ControlKind kind) {
  return kind == ControlKind::RadioButton || kind == ControlKind::AutoRadioButton || kind == ControlKind::AutoCheckBox;
}

void Show(Running& r) {
  r.showing = true;
  for (const DialogControl& c : r.tpl.controls) {
    const auto item = r.state.items.find(c.id);
    HWND control = GetDlgItem(r.dialog, c.id);
    if (c.id == IDC_STATIC || item == r.state.items.end() || control == nullptr) continue;
    if (c.kind == ControlKind::DropDownList)
      ShowList(control, item->second);
    else
      ShowText(control, item->second.text);
    if (Checkable(c.kind)) SendMessageW(control, BM_SETCHECK, item->second.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(control, item->second.enabled);
  }
  r.showing = false;
}

// Hands the user's action to the program, then shows what it made of it.
void Report(Running& r, int id, DialogEvent event) {
  if (r.state.ended) return;  // what arrives after the end goes nowhere
  r.onEvent(id, event);
  if (r.state.ended)
    ::EndDialog(r.dialog, r.state.result);
  else
    Show(r);
}

void OnCommand(Running& r, int id, WORD notification, HWND control) {
  switch (notification) {
    case BN_CLICKED: return Report(r, id, DialogEvent::Click);
    case CBN_SELCHANGE: {
      const LRESULT selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
      r.state.items[id].selection = selected == CB_ERR ? -1 : static_cast<int>(selected);
      return Report(r, id, DialogEvent::Select);
    }
    case EN_CHANGE:
      r.state.items[id].text = WindowText(control);
      return Report(r, id, DialogEvent::Edit);
    default:
      return;
  }
}

INT_PTR CALLBACK DialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* running = reinterpret_cast<Running*>(lParam);
    running->dialog = hDlg;
    running->state.window = reinterpret_cast<PlatWindow*>(hDlg);
    SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
    Show(*running);
    return TRUE;
  }
  auto* running = reinterpret_cast<Running*>(GetWindowLongPtrW(hDlg, DWLP_USER));
  if (running == nullptr || msg != WM_COMMAND) return FALSE;
  if (!running->showing) OnCommand(*running, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
  return TRUE;
}

}  // namespace

intptr_t RunDialog(HWND owner, const DialogTemplate& tpl, DialogState& state, const DialogEventHandler& onEvent) {
  if (state.ended) return state.result;
  const TemplateWriter built = BuildTemplate(tpl);
  Running running{tpl, state, onEvent};
  g_running.push_back(&running);
  const intptr_t result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                  reinterpret_cast<LPCDLGTEMPLATEW>(built.Data()),
                                                  owner, DialogProc,
                                                  reinterpret_cast<LPARAM>(&running));
  std::erase(g_running, &running);
  state.window = nullptr;
  return state.ended ? result : -1;
}

bool DialogRunning(HWND dialog) {
  const Running* r = Find(dialog);
  return r != nullptr && !r->state.ended;
}

HWND ActiveDialog() {
  for (auto it = g_running.rbegin(); it != g_running.rend(); ++it)
    if ((*it)->dialog != nullptr && !(*it)->state.ended) return (*it)->dialog;
  return nullptr;
}

}  // namespace w32
