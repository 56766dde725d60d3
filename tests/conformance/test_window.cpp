// The window system as every back end must show it to the program: its
// events in order, timers and message boxes, dropped files, the file dialogs and
// the single instance.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/conformance/conformance_fixture.h"

namespace conformance {
namespace {

TEST_P(BackEnd, CreationSizeAndCloseRequestsArriveInOrderBeforeThePaint) {
  const Received& created = recorder_.log.front();
  EXPECT_EQ(created.event, Ev::Created);
  EXPECT_GT(created.client.right, 0);
  EXPECT_GT(created.client.bottom, 0);
  // The last resize reached the program with the client size.
  const auto lastSize = std::find_if(recorder_.log.rbegin(), recorder_.log.rend(),
                                     [](const Received& r) { return r.event == Ev::Resized; });
  ASSERT_NE(lastSize, recorder_.log.rend());
  EXPECT_EQ(lastSize->client.right, 600);
  EXPECT_EQ(lastSize->client.bottom, 480);

  recorder_.log.clear();
  recorder_.paints = 0;
  plat::RequestClose(window_);
  plat::RequestClose(window_);
  plat::InvalidateRect(window_, true);
  plat::RequestClose(window_);
  plat::RequestClose(reinterpret_cast<HWND>(&recorder_));  // not a window: dropped
  EXPECT_TRUE(recorder_.log.empty());  // they come from the loop
  ASSERT_TRUE(driver_->PumpUntil([&] { return recorder_.paints > 0; }));
  driver_->PumpOnce();
  EXPECT_EQ(Events({Ev::CloseRequested, Ev::Paint}),
            (std::vector<Ev>{Ev::CloseRequested, Ev::CloseRequested, Ev::CloseRequested, Ev::Paint}));
}

TEST_P(BackEnd, TimerTicksGoOnInAMessageBoxButMissedTicksAreNotMadeUp) {
  plat::SetTimer(window_, 7, 20);
  // The box is answered once five ticks have come through its loop.
  driver_->AnswerNextMessageBox({IDOK}, [&] { return Count(Ev::Timer) >= 5; });
  EXPECT_EQ(plat::MessageBox(window_, "Wait", "Caption", MB_OK), IDOK);
  EXPECT_GE(Count(Ev::Timer), 5);
  EXPECT_EQ(recorder_.log.back().value, 7u);

  // Fifteen periods blocked: one pass of the loop delivers one tick at most.
  const int before = Count(Ev::Timer);
  plat::Sleep(300);
  driver_->PumpOnce();
  EXPECT_LE(Count(Ev::Timer) - before, 1);

  plat::KillTimer(window_, 7);
  const int afterKill = Count(Ev::Timer);
  driver_->Idle(80);
  EXPECT_EQ(Count(Ev::Timer), afterKill);
}

TEST_P(BackEnd, MessageBoxesShowCaptionButtonsAndIconAndReturnTheAnswer) {
  driver_->AnswerNextMessageBox({IDOK});
  driver_->AnswerNextMessageBox({IDNO});
  driver_->AnswerNextMessageBox({IDCANCEL});
  EXPECT_EQ(plat::MessageBox(nullptr, "Status Bar not created!", nullptr, MB_OK), IDOK);
  EXPECT_EQ(plat::MessageBox(window_, "Replace it?", "Save File", MB_YESNO | MB_ICONWARNING), IDNO);
  EXPECT_EQ(plat::MessageBox(window_, "Insert the EPROM", "Program", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  const std::vector<SeenBox> seen = driver_->MessageBoxesSeen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].caption, "Error");  // the default caption
  EXPECT_EQ(seen[0].text, "Status Bar not created!");
  EXPECT_EQ(seen[0].type, MB_OK);
  EXPECT_EQ(seen[1].caption, "Save File");
  EXPECT_EQ(seen[1].type, MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(seen[2].type, MB_OKCANCEL | MB_ICONQUESTION);
}

TEST_P(BackEnd, AYesNoBoxTakesAButtonAndIgnoresEscAndItsCloseBox) {
  driver_->AnswerNextMessageBox({kPressEsc, kCloseBox, IDYES});
  EXPECT_EQ(plat::MessageBox(window_, "Was the EPROM programmed OK?", "Programming...", MB_YESNO), IDYES);
  // A box with a Cancel button takes Esc and its close box as Cancel, one
  // with only OK as OK.
  driver_->AnswerNextMessageBox({kPressEsc});
  EXPECT_EQ(plat::MessageBox(window_, "Insert the EPROM", "Program", MB_OKCANCEL), IDCANCEL);
  driver_->AnswerNextMessageBox({kCloseBox});
  EXPECT_EQ(plat::MessageBox(window_, "Insert the EPROM", "Program", MB_OKCANCEL), IDCANCEL);
  driver_->AnswerNextMessageBox({kPressEsc});
  EXPECT_EQ(plat::MessageBox(window_, "Done", "Program", MB_OK), IDOK);
}

TEST_P(BackEnd, DroppedFilesReachTheWindowWithTheirOrderAndPoint) {
  std::vector<DroppedFiles> drops;
  recorder_.onDrop = [&](const DroppedFiles& drop) { drops.push_back(drop); };
  plat::DragAcceptFiles(window_, true);
  EXPECT_TRUE(driver_->AcceptsDrops());
  driver_->DropFiles({temp_.File("b.bin"), temp_.File("a.wav")}, POINT{250, 60});
  ASSERT_TRUE(driver_->PumpUntil([&] { return !drops.empty(); }));
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].names, (std::vector<std::string>{temp_.File("b.bin"), temp_.File("a.wav")}));
  EXPECT_EQ(drops[0].point.x, 250);
  EXPECT_EQ(drops[0].point.y, 60);
  EXPECT_TRUE(drops[0].inClient);

  plat::DragAcceptFiles(window_, false);
  EXPECT_FALSE(driver_->AcceptsDrops());
}

TEST_P(BackEnd, FileDialogsShowTheFilterAskedForAndReportTheChoice) {
  for (const char* name : {"kick.bin", "SNARE.BIN", "hat.wav"}) testsupport::WriteText(temp_.File(name), "x");
  OPENFILENAME ofn;
  ofn.hwndOwner = window_;
  ofn.filters = {{"Binary files (*.BIN)", "*.BIN"},
                 {"Wave files (*.WAV)", "*.WAV"},
                 {"Intel Hex files (*.HEX)", "*.HEX"},
                 {"All files (*.*)", "*.*"}};
  ofn.nFilterIndex = 2;
  ofn.initialDir = temp_.path();
  ofn.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  driver_->AnswerNextFileDialog({true, "kick.bin", 4});
  ASSERT_EQ(plat::ChooseFile(ofn, false).outcome, FileDialogResult::kChosen);
  EXPECT_EQ(ofn.file, temp_.File("kick.bin"));
  EXPECT_EQ(ofn.fileTitle, "kick.bin");
  EXPECT_EQ(ofn.nFilterIndex, 4u);

  // An index that names no filter shows the first, and reports it.
  ofn.nFilterIndex = 0;
  driver_->AnswerNextFileDialog({true, "SNARE.BIN", 0});
  ASSERT_EQ(plat::ChooseFile(ofn, false).outcome, FileDialogResult::kChosen);
  EXPECT_EQ(ofn.file, temp_.File("SNARE.BIN"));
  EXPECT_EQ(ofn.nFilterIndex, 1u);

  // A cancel is no error, and leaves the record alone.
  ofn.nFilterIndex = 3;
  driver_->AnswerNextFileDialog({false, "", 0});
  const FileDialogResult cancelled = plat::ChooseFile(ofn, true);
  EXPECT_EQ(cancelled.outcome, FileDialogResult::kCancelled);
  EXPECT_EQ(cancelled.error, 0u);
  EXPECT_EQ(ofn.file, temp_.File("SNARE.BIN"));
  EXPECT_EQ(ofn.nFilterIndex, 3u);

  const std::vector<SeenFileDialog> seen = driver_->FileDialogsSeen();
  ASSERT_EQ(seen.size(), 3u);
  ASSERT_EQ(seen[0].filters.size(), 4u);
  for (size_t i = 0; i < ofn.filters.size(); ++i) {
    EXPECT_EQ(seen[0].filters[i].rfind(ofn.filters[i].description, 0), 0u) << seen[0].filters[i];
  }
  EXPECT_EQ(seen[0].shownFilter, 2u);
  EXPECT_EQ(seen[1].shownFilter, 1u);
  EXPECT_EQ(seen[2].shownFilter, 3u);
}

TEST_P(BackEnd, ASecondInstanceIsRefusedRaisesTheFirstAndHandsItsFilesOver) {
  std::vector<DroppedFiles> drops;
  recorder_.onDrop = [&](const DroppedFiles& drop) { drops.push_back(drop); };
  plat::DragAcceptFiles(window_, true);
  const std::string name = "conformance-" + std::to_string(getpid());
  std::unique_ptr<InstanceLock> lock = plat::LockSingleInstance(name.c_str());
  ASSERT_NE(lock, nullptr);
  // Asked again: still the only one, and letting go of that answer keeps it so.
  EXPECT_NE(plat::LockSingleInstance(name.c_str()), nullptr);
  EXPECT_FALSE(driver_->SecondInstanceAcquires(name.c_str(), {}));
  EXPECT_TRUE(driver_->PumpUntil([&] { return driver_->MainWindowRaised(); }));

  // With files, the first loads them as a drop outside its client area.
  const std::vector<std::string> files{temp_.File("kick drum \xC3\xBC.wav"), temp_.File("snare; tom (2).bin")};
  EXPECT_FALSE(driver_->SecondInstanceAcquires(name.c_str(), files));
  ASSERT_TRUE(driver_->PumpUntil([&] { return !drops.empty() && driver_->MainWindowRaised(); }));
  driver_->PumpOnce();
  ASSERT_EQ(drops.size(), 1u) << "the start without files handed some over";
  EXPECT_EQ(drops[0].names, files);
  EXPECT_FALSE(drops[0].inClient);

  // Once the first has let go, a new start runs.
  lock.reset();
  EXPECT_TRUE(driver_->SecondInstanceAcquires(name.c_str(), files));
  driver_->PumpOnce();
  EXPECT_EQ(drops.size(), 1u);
}

}  // namespace
}  // namespace conformance
