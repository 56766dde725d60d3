// The dialog procedures run over the window system's ShowDialog as the
// desktop API runs them: WM_INITDIALOG with the parameter first, the
// template's texts, what a click, typing and a list choice send, the
// buttons' rules, and EndDialog's result back from DialogBoxParam. Here on
// the headless back end; tests/conformance has what each window system
// does alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/platform_headless.h"
#include "resources/dialog_templates.h"
#include "settings/dialog_runner.h"
#include "tests/support/dialog_recorder.h"

namespace {

using testsupport::CommandsReceived;
using testsupport::g_onInit;
using testsupport::g_received;
constexpr DLGPROC RecordingProc = testsupport::RecordingDialogProc;

class DialogRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    g_received.clear();
    g_onInit = [this](HWND h) { h_ = h; };
  }
  void TearDown() override { g_onInit = nullptr; }

  INT_PTR Open(int templateId, const headless::DialogScript& script, LPARAM param = 0) {
    p_->QueueDialog(script);
    return dlg::DialogBoxParam(nullptr, templateId, RecordingProc, param);
  }
  std::string Checks(int first, int last) const {
    std::string s;
    for (int id = first; id <= last; ++id) s += dlg::IsDlgButtonChecked(h_, id) ? '1' : '0';
    return s;
  }

  headless::ScopedHeadless p_;
  HWND h_ = nullptr;  // the dialog as its procedure knows it
};

TEST_F(DialogRunner, TheProcedureGetsItsParameterAndTheTemplatesTextsFirstAndTheResultComesBack) {
  for (const DialogTemplate& tpl : AllDialogTemplates()) {
    SCOPED_TRACE(tpl.caption);
    g_received.clear();
    const INT_PTR result = Open(tpl.id, [&](headless::DialogDriver&) {
      for (const DialogControl& def : tpl.controls) {
        if (def.kind != ControlKind::DropDownList && def.id != IDC_STATIC) {
          EXPECT_EQ(dlg::GetDlgItemText(h_, def.id), def.text) << def.id;
        }
      }
      dlg::EndDialog(h_, tpl.id);
    }, 1234);
    EXPECT_EQ(result, tpl.id);
    ASSERT_FALSE(g_received.empty());
    EXPECT_EQ(g_received.front().message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_received.front().lParam, 1234);
  }
}

TEST_F(DialogRunner, ADialogEndedWhileStartingNeverShows) {
  g_onInit = [](HWND h) { dlg::EndDialog(h, 42); };
  bool scriptRan = false;
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [&](headless::DialogDriver&) { scriptRan = true; }), 42);
  EXPECT_FALSE(scriptRan);
}

TEST_F(DialogRunner, UnknownTemplatesAndHandlesAreRefused) {
  EXPECT_EQ(dlg::DialogBoxParam(nullptr, 99, RecordingProc, 0), -1);
  EXPECT_EQ(dlg::DialogBoxParam(nullptr, IDD_FILE_OPTIONS, nullptr, 0), -1);
  int notADialog = 0;
  HWND bogus = reinterpret_cast<HWND>(&notADialog);
  dlg::CheckDlgButton(bogus, 11, true);
  dlg::EndDialog(bogus, 1);
  EXPECT_FALSE(dlg::IsDlgButtonChecked(bogus, 11));
  EXPECT_EQ(dlg::DlgListGetSel(bogus, 11), -1);
  EXPECT_EQ(dlg::GetDlgItemText(bogus, 11), "");
  EXPECT_EQ(dlg::DialogWindow(bogus), nullptr);
  EXPECT_EQ(notADialog, 0);
}

TEST_F(DialogRunner, AutomaticRadioButtonsCheckThemselvesWithinTheirGroupAndTheProgramsWaitForIt) {
  Open(IDD_WHICH_EPROM, [&](headless::DialogDriver& user) {
    EXPECT_EQ(dlg::DialogWindow(h_), user.Handle());
    dlg::CheckDlgButton(h_, 101, true);
    user.Click(103);
    EXPECT_EQ(Checks(101, 104), "0010");
    user.Click(103);
    EXPECT_EQ(Checks(101, 104), "0010");  // a second click keeps it
    dlg::CheckDlgButton(h_, 103, false);  // the program may clear it
    EXPECT_EQ(Checks(101, 104), "0000");
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{103, 103, IDOK}));

  g_received.clear();
  Open(IDD_EPROM_OPTIONS, [&](headless::DialogDriver& user) {
    user.Click(14);
    user.Click(18);
    EXPECT_EQ(Checks(13, 18), "000000");  // the recording procedure checks nothing
    dlg::CheckDlgButton(h_, 14, true);
    user.Click(14);                       // nor unchecks
    EXPECT_TRUE(dlg::IsDlgButtonChecked(h_, 14));
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{14, 18, 14, IDOK}));
}

TEST_F(DialogRunner, CheckBoxesToggleAndDisabledControlsTakeNoClick) {
  Open(IDD_AUDIO_OPTIONS, [&](headless::DialogDriver& user) {
    user.Click(12);
    EXPECT_TRUE(dlg::IsDlgButtonChecked(h_, 12));
    user.Click(12);
    EXPECT_FALSE(dlg::IsDlgButtonChecked(h_, 12));
    dlg::EnableDlgItem(h_, 13, false);
    user.Click(13);
    EXPECT_FALSE(dlg::IsDlgButtonChecked(h_, 13));
    EXPECT_FALSE(user.IsEnabled(13));
    user.Click(IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{12, 12, IDOK}));
}

TEST_F(DialogRunner, TypingAndChoosingNotifyButTheProgramsChangesDoNot) {
  Open(IDD_MIDI_OPTIONS, [&](headless::DialogDriver& user) {
    dlg::DlgListAdd(h_, 101, "Port A");
    dlg::DlgListAdd(h_, 101, "Port B");
    EXPECT_EQ(dlg::DlgListGetSel(h_, 101), -1);  // adding selects nothing
    dlg::DlgListSelect(h_, 101, 0);
    dlg::DlgListSelect(h_, 102, 0);              // an empty list stays unselected
    EXPECT_EQ(dlg::DlgListGetSel(h_, 102), -1);
    user.SelectListEntry(101, 1);
    EXPECT_EQ(dlg::DlgListGetSel(h_, 101), 1);
    EXPECT_EQ(dlg::GetDlgItemText(h_, 101), "Port B");
    dlg::DlgListSelect(h_, 101, 7);              // out of range: no selection
    EXPECT_EQ(dlg::DlgListGetSel(h_, 101), -1);
    user.PressCancel();
  });
  EXPECT_EQ(CommandsReceived(CBN_SELCHANGE), (std::vector<int>{101}));

  g_received.clear();
  Open(IDD_AUDIO_OPTIONS, [&](headless::DialogDriver& user) {
    dlg::SetDlgItemText(h_, 11, "24000");
    user.Type(11, "48");
    EXPECT_EQ(dlg::GetDlgItemText(h_, 11), "48");
    user.PressOk();
  });
  EXPECT_EQ(CommandsReceived(EN_CHANGE), (std::vector<int>{11, 11}));
}

}  // namespace
