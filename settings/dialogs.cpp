#include "settings/dialogs.h"

// ---------------------------------------------------------------------------
// Choose Sound: which part of a one-EPROM two-sounds image a file operation
// applies to. It has no Cancel: only OK closes it.
// ---------------------------------------------------------------------------
namespace {
constexpr int IDC_SOUND_1 = 101;
constexpr int IDC_SOUND_2 = 102;
constexpr int IDC_BOTH_SOUNDS = 103;
constexpr int IDC_FILE_NAME = 104;
}  // namespace

INT_PTR WhichHalfDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const char* filename = reinterpret_cast<const char*>(lParam);
      dlg::SetDlgItemText(hDlg, IDC_FILE_NAME, filename ? filename : "");
      dlg::CheckDlgButton(hDlg, IDC_SOUND_1, true);
      return 1;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK) return 0;  // Esc and the close box included
      if (dlg::IsDlgButtonChecked(hDlg, IDC_SOUND_2))
        dlg::EndDialog(hDlg, CHOOSE_SOUND_2);
      else if (dlg::IsDlgButtonChecked(hDlg, IDC_BOTH_SOUNDS) && !dlg::IsDlgButtonChecked(hDlg, IDC_SOUND_1))
        dlg::EndDialog(hDlg, CHOOSE_BOTH_SOUNDS);
      else
        dlg::EndDialog(hDlg, CHOOSE_SOUND_1);
      return 1;
    default:
      return 0;
  }
}
