#include "settings/dialog_runner.h"

#include <algorithm>
#include <vector>

#include "resources/dialog_templates.h"

namespace {

struct Running {
  const DialogTemplate& tpl;
  DLGPROC proc;
  DialogState state;
};

// The dialogs running, innermost last.
std::vector<Running*> g_running;

HWND Handle(Running* r) { return reinterpret_cast<HWND>(r); }

Running* Find(HWND hDlg) {
  for (Running* r : g_running)
    if (Handle(r) == hDlg) return r;
  return nullptr;
}

DialogItem* Item(HWND hDlg, int id) {
  Running* r = Find(hDlg);
  if (r == nullptr) return nullptr;
  const auto it = r->state.items.find(id);
  return it == r->state.items.end() ? nullptr : &it->second;
}

// What a click does to the button itself, before its procedure hears of it.
void ApplyButtonRules(Running& r, int id) {
  const auto& controls = r.tpl.controls;
  const auto clicked = std::find_if(controls.begin(), controls.end(), [id](const DialogControl& c) { return c.id == id; });
  if (clicked == controls.end()) return;
  if (clicked->kind == ControlKind::AutoCheckBox) {
    DialogItem& box = r.state.items[id];
    box.checked = !box.checked;
  } else if (clicked->kind == ControlKind::AutoRadioButton) {
    const auto [first, last] = RadioGroup(r.tpl, static_cast<size_t>(clicked - controls.begin()));
    for (size_t i = first; i < last; ++i) r.state.items[controls[i].id].checked = controls[i].id == id;
  }
}

WORD Notification(DialogEvent event) {
  switch (event) {
    case DialogEvent::Select: return CBN_SELCHANGE;
    case DialogEvent::Edit: return EN_CHANGE;
    case DialogEvent::Click: break;
  }
  return BN_CLICKED;
}

void OnEvent(Running& r, int id, DialogEvent event) {
  if (r.state.ended) return;  // what arrives after EndDialog goes nowhere
  if (event == DialogEvent::Click) ApplyButtonRules(r, id);
  r.proc(Handle(&r), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), Notification(event)), 0);
}

}  // namespace

namespace dlg {

INT_PTR DialogBoxParam(HWND owner, int templateId, DLGPROC proc, LPARAM param) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  if (tpl == nullptr || proc == nullptr) return -1;
  Running running{*tpl, proc, {}};
  for (const DialogControl& c : tpl->controls)
    if (c.id != IDC_STATIC) running.state.items[c.id].text = c.text ? c.text : "";
  // A dialog opened from a dialog is owned by its window.
  if (Running* outer = Find(owner)) owner = outer->state.window;
  g_running.push_back(&running);
  proc(Handle(&running), WM_INITDIALOG, 0, param);
  const INT_PTR result = plat::ShowDialog(owner, templateId, running.state,
                                          [&running](int id, DialogEvent event) { OnEvent(running, id, event); });
  std::erase(g_running, &running);
  return result;
}

void EndDialog(HWND hDlg, INT_PTR result) {
  Running* r = Find(hDlg);
  if (r == nullptr || r->state.ended) return;
  r->state.ended = true;
  r->state.result = result;
}

void DlgListAdd(HWND hDlg, int id, const char* text) {
  if (DialogItem* list = Item(hDlg, id)) list->entries.emplace_back(text ? text : "");
}

void DlgListSelect(HWND hDlg, int id, int index) {
  if (DialogItem* list = Item(hDlg, id))
    list->selection = index >= 0 && index < static_cast<int>(list->entries.size()) ? index : -1;
}

int DlgListGetSel(HWND hDlg, int id) {
  const DialogItem* list = Item(hDlg, id);
  return list ? list->selection : -1;
}

void SetDlgItemText(HWND hDlg, int id, const char* text) {
  if (DialogItem* item = Item(hDlg, id)) item->text = text ? text : "";
}

std::string GetDlgItemText(HWND hDlg, int id) {
  const DialogItem* item = Item(hDlg, id);
  if (item == nullptr) return "";
  if (item->selection >= 0 && static_cast<size_t>(item->selection) < item->entries.size())
    return item->entries[static_cast<size_t>(item->selection)];
  return item->text;
}

void CheckDlgButton(HWND hDlg, int id, bool checked) {
  if (DialogItem* item = Item(hDlg, id)) item->checked = checked;
}

bool IsDlgButtonChecked(HWND hDlg, int id) {
  const DialogItem* item = Item(hDlg, id);
  return item && item->checked;
}

void EnableDlgItem(HWND hDlg, int id, bool enabled) {
  if (DialogItem* item = Item(hDlg, id)) item->enabled = enabled;
}

HWND DialogWindow(HWND hDlg) {
  const Running* r = Find(hDlg);
  return r ? r->state.window : nullptr;
}

}  // namespace dlg
