// Dialogs built from the templates, as every back end must run them: the
// procedure gets WM_INITDIALOG with its parameter first, every control of
// the template with its text, what a click, a key, typing and a list choice
// send, and EndDialog's result back from DialogBoxParam.
#include <string>
#include <vector>

#include "resources/dialog_templates.h"
#include "tests/conformance/conformance_fixture.h"
#include "tests/support/dialog_recorder.h"

namespace conformance {
namespace {

using testsupport::CommandsReceived;
using testsupport::g_onInit;
using testsupport::g_received;
constexpr DLGPROC RecordingProc = testsupport::RecordingDialogProc;

std::string Checks(HWND h, int first, int last) {
  std::string s;
  for (int id = first; id <= last; ++id) s += plat::IsDlgButtonChecked(h, id) ? '1' : '0';
  return s;
}

}  // namespace

void Dialogs::SetUp() {
  BackEnd::SetUp();
  g_received.clear();
  g_onInit = nullptr;
}

void Dialogs::TearDown() {
  g_onInit = nullptr;
  BackEnd::TearDown();
}

INT_PTR Dialogs::Open(int templateId, const std::function<void(DialogUser&)>& script, LPARAM param) {
  driver_->AnswerNextDialog(script);
  return plat::DialogBoxParam(window_, templateId, RecordingProc, param);
}

namespace {

TEST_P(Dialogs, EveryTemplateOpensWithItsControlsAndTheirTexts) {
  for (const DialogTemplate& tpl : AllDialogTemplates()) {
    SCOPED_TRACE(tpl.caption);
    g_received.clear();
    const INT_PTR result = Open(tpl.id, [&](DialogUser& user) {
      for (const DialogControl& def : tpl.controls) {
        if (def.kind != ControlKind::DropDownList && def.id != IDC_STATIC) {
          EXPECT_EQ(plat::GetDlgItemText(user.Dialog(), def.id), def.text) << def.id;
        }
      }
      plat::EndDialog(user.Dialog(), tpl.id);
    });
    EXPECT_EQ(result, tpl.id);
    ASSERT_FALSE(g_received.empty());
    EXPECT_EQ(g_received.front().message, static_cast<UINT>(WM_INITDIALOG));
  }
}

TEST_P(Dialogs, TheProcedureGetsItsParameterFirstAndTheResultComesBack) {
  EXPECT_EQ(Open(IDD_WHICH_EPROM, [](DialogUser& user) { user.Click(IDOK); }, 1234), IDOK);
  ASSERT_FALSE(g_received.empty());
  EXPECT_EQ(g_received.front().message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(g_received.front().lParam, 1234);
}

TEST_P(Dialogs, ADialogEndedWhileStartingNeverShows) {
  g_onInit = [](HWND h) { plat::EndDialog(h, 42); };
  bool scriptRan = false;
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [&](DialogUser&) { scriptRan = true; }), 42);
  EXPECT_FALSE(scriptRan);
}

TEST_P(Dialogs, UnknownTemplatesAndHandlesAreRefused) {
  EXPECT_EQ(plat::DialogBoxParam(window_, 99, RecordingProc, 0), -1);
  EXPECT_EQ(plat::DialogBoxParam(window_, IDD_FILE_OPTIONS, nullptr, 0), -1);
  int notADialog = 0;
  HWND bogus = reinterpret_cast<HWND>(&notADialog);
  plat::CheckDlgButton(bogus, 11, true);
  plat::EndDialog(bogus, 1);
  EXPECT_FALSE(plat::IsDlgButtonChecked(bogus, 11));
  EXPECT_EQ(plat::DlgListGetSel(bogus, 11), -1);
  EXPECT_EQ(plat::GetDlgItemText(bogus, 11), "");
  EXPECT_EQ(notADialog, 0);
}

TEST_P(Dialogs, AutomaticRadioButtonsCheckThemselvesWithinTheirGroup) {
  Open(IDD_WHICH_EPROM, [&](DialogUser& user) {
    const HWND h = user.Dialog();
    plat::CheckDlgButton(h, 101, true);
    user.Click(103);
    EXPECT_EQ(Checks(h, 101, 104), "0010");
    user.Click(103);
    EXPECT_EQ(Checks(h, 101, 104), "0010");  // a second click keeps it
    plat::CheckDlgButton(h, 103, false);     // the program may clear it
    EXPECT_EQ(Checks(h, 101, 104), "0000");
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{103, 103, IDOK}));
}

TEST_P(Dialogs, CheckBoxesToggleAndDisabledControlsTakeNoClick) {
  Open(IDD_AUDIO_OPTIONS, [&](DialogUser& user) {
    const HWND h = user.Dialog();
    user.Click(12);
    EXPECT_TRUE(plat::IsDlgButtonChecked(h, 12));
    user.Click(12);
    EXPECT_FALSE(plat::IsDlgButtonChecked(h, 12));
    plat::EnableDlgItem(h, 13, false);
    user.Click(13);
    EXPECT_FALSE(plat::IsDlgButtonChecked(h, 13));
    EXPECT_FALSE(user.IsEnabled(13));
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{12, 12, IDOK}));
}

TEST_P(Dialogs, TypingAndChoosingNotifyButTheProgramsChangesDoNot) {
  Open(IDD_MIDI_OPTIONS, [&](DialogUser& user) {
    const HWND h = user.Dialog();
    plat::DlgListAdd(h, 101, "Port A");
    plat::DlgListAdd(h, 101, "Port B");
    EXPECT_EQ(plat::DlgListGetSel(h, 101), -1);  // adding selects nothing
    plat::DlgListSelect(h, 101, 0);
    plat::DlgListSelect(h, 102, 0);              // an empty list stays unselected
    EXPECT_EQ(plat::DlgListGetSel(h, 102), -1);
    user.Pick(101, 1);
    EXPECT_EQ(plat::DlgListGetSel(h, 101), 1);
    EXPECT_EQ(plat::GetDlgItemText(h, 101), "Port B");
    plat::DlgListSelect(h, 101, 7);              // out of range: no selection
    EXPECT_EQ(plat::DlgListGetSel(h, 101), -1);
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(CommandsReceived(CBN_SELCHANGE), (std::vector<int>{101}));

  g_received.clear();
  Open(IDD_AUDIO_OPTIONS, [&](DialogUser& user) {
    plat::SetDlgItemText(user.Dialog(), 11, "24000");
    user.Type(11, "48");
    EXPECT_EQ(plat::GetDlgItemText(user.Dialog(), 11), "48");
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(EN_CHANGE), (std::vector<int>{11, 11}));
}

TEST_P(Dialogs, EnterPressesTheDefaultButtonAndEscAndTheCloseBoxSendCancel) {
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.PressEnter(); }), IDOK);
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.PressEsc(); }), IDCANCEL);
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.CloseBox(); }), IDCANCEL);
}

}  // namespace
}  // namespace conformance
