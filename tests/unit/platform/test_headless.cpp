// The headless platform is what every scenario and the CLI stand on: its
// clock, queue and scripts must behave like a real desktop's.
#include <gtest/gtest.h>

#include "platform/headless/platform_headless.h"
#include "resources/dialog_templates.h"
#include "settings/dialog_runner.h"

namespace {

int g_ticks = 0;

// Counts the ticks of the timer it sets when created.
class TickingWindow : public WindowEvents {
  bool Created(HWND window) override { return plat::SetTimer(window, 200, 320) != 0; }
  void Timer(UINT id) override { g_ticks += id == 200; }
} g_window;

TEST(HeadlessClock, TimerTicksFollowVirtualTimeAndSleepDoesNotCatchUp) {
  headless::ScopedHeadless p;
  g_ticks = 0;
  plat::CreateMainWindow("T", g_window);
  p->AdvanceTime(319);
  EXPECT_EQ(g_ticks, 0);
  p->AdvanceTime(1);
  EXPECT_EQ(g_ticks, 1);
  plat::Sleep(2000);  // six ticks missed, none made up
  p->Pump();
  EXPECT_EQ(g_ticks, 1);
  p->AdvanceTime(320);
  EXPECT_EQ(g_ticks, 2);
}

TEST(HeadlessMessageBoxes, ScriptedAnswerLetsTimePassInsideTheBox) {
  headless::ScopedHeadless p;
  g_ticks = 0;
  plat::CreateMainWindow("T", g_window);
  p->QueueMessageBoxAnswer(IDNO, 1000);
  EXPECT_EQ(plat::MessageBox(nullptr, "Q?", "Cap", MB_YESNO), IDNO);
  EXPECT_EQ(g_ticks, 3);  // the nested loop delivered the ticks
  EXPECT_EQ(plat::MessageBox(nullptr, "Plain", nullptr, MB_OK), IDOK);
  ASSERT_EQ(p->messageBoxes.size(), 2u);
  EXPECT_TRUE(p->messageBoxes[1].defaultCaption);
}

INT_PTR ChooserProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) dlg::CheckDlgButton(hDlg, 101, true);
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
    for (int id = 101; id <= 103; ++id)
      if (dlg::IsDlgButtonChecked(hDlg, id)) dlg::EndDialog(hDlg, id - 101);
  }
  return 0;
}

// (What a click does to a dialog's buttons is in tests/unit/settings.)
TEST(HeadlessDialogs, UnscriptedDialogsPressOk) {
  headless::ScopedHeadless p;
  EXPECT_EQ(dlg::DialogBoxParam(nullptr, IDD_CHOOSE_SOUND, ChooserProc, 0), 0);
  ASSERT_EQ(p->dialogs.size(), 1u);
  EXPECT_FALSE(p->dialogs[0].endedByScript);
}

}  // namespace
