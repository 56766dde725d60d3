// Dialogs built from the templates, as every window system must show them:
// every control of the template with the state's text, check, list and
// enabling; the user's clicks, list choices and typing reported, with the
// choice or the text stored first; no check changed by a click itself; the
// state shown again after each event, and the dialog closed once it ends.
// (What the dialog procedures make of the events is the core's, tested in
// tests/unit/settings/test_dialog_runner.cpp.)
#include <string>
#include <vector>

#include "resources/dialog_templates.h"
#include "tests/conformance/conformance_fixture.h"

namespace conformance {

INT_PTR Dialogs::Open(int templateId, const std::function<void(DialogUser&)>& script) {
  driver_->AnswerNextDialog(script);
  return plat::ShowDialog(window_, templateId, state_, [this](int id, DialogEvent event) {
    events_.push_back({id, event, state_.items[id]});
    if (react_) react_(id, event);
    if (event == DialogEvent::Click && (id == IDOK || id == IDCANCEL)) {
      state_.ended = true;
      state_.result = id;
    }
  });
}

DialogState Dialogs::StateOf(int templateId) {
  DialogState state;
  for (const DialogControl& c : FindDialogTemplate(templateId)->controls)
    if (c.id != IDC_STATIC) state.items[c.id].text = c.text;
  return state;
}

namespace {

using E = DialogEvent;

std::string Checks(DialogUser& user, int first, int last) {
  std::string s;
  for (int id = first; id <= last; ++id) s += user.IsChecked(id) ? '1' : '0';
  return s;
}

TEST_P(Dialogs, EveryTemplateShowsItsControlsWithTheStatesTexts) {
  for (const DialogTemplate& tpl : AllDialogTemplates()) {
    SCOPED_TRACE(tpl.caption);
    state_ = StateOf(tpl.id);
    const INT_PTR result = Open(tpl.id, [&](DialogUser& user) {
      for (const DialogControl& def : tpl.controls) {
        if (def.kind != ControlKind::DropDownList && def.id != IDC_STATIC) {
          EXPECT_EQ(user.Text(def.id), def.text) << def.id;
        }
      }
      user.PressEsc();
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(state_.window, nullptr);  // the window is gone
  }
}

TEST_P(Dialogs, AStateEndedBeforeItShowsReturnsAtOnceAndUnknownTemplatesAreRefused) {
  state_ = StateOf(IDD_FILE_OPTIONS);
  state_.ended = true;
  state_.result = 42;
  bool scriptRan = false;
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [&](DialogUser&) { scriptRan = true; }), 42);
  EXPECT_FALSE(scriptRan);
  DialogState unknown;
  EXPECT_EQ(plat::ShowDialog(window_, 99, unknown, [](int, DialogEvent) {}), -1);
}

TEST_P(Dialogs, AClickChecksNothingItselfAndTheProgramsStateShowsAfterEachEvent) {
  state_ = StateOf(IDD_WHICH_EPROM);
  state_.items[101].checked = true;
  react_ = [this](int id, DialogEvent) {
    if (id != 102) return;
    state_.items[101].checked = false;
    state_.items[104].checked = true;
    state_.items[103].enabled = false;
  };
  Open(IDD_WHICH_EPROM, [&](DialogUser& user) {
    EXPECT_EQ(Checks(user, 101, 104), "1000");
    EXPECT_NE(state_.window, nullptr);
    user.Click(103);
    EXPECT_EQ(Checks(user, 101, 104), "1000");  // the automatic kind too waits for the program
    user.Click(102);
    EXPECT_EQ(Checks(user, 101, 104), "0001");
    EXPECT_FALSE(user.IsEnabled(103));
    user.Click(103);                            // disabled: no event
    user.Click(IDOK);
  });
  EXPECT_EQ(events_, (std::vector<Event>{{103, E::Click, {}}, {102, E::Click, {}}, {IDOK, E::Click, {}}}));

  events_.clear();
  state_ = StateOf(IDD_AUDIO_OPTIONS);
  Open(IDD_AUDIO_OPTIONS, [&](DialogUser& user) {
    user.Click(12);
    EXPECT_FALSE(user.IsChecked(12));           // nor does a check box toggle itself
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(events_, (std::vector<Event>{{12, E::Click, {}}, {IDCANCEL, E::Click, {}}}));
}

TEST_P(Dialogs, ListChoicesAndTypingAreStoredBeforeTheyAreReportedAndTheProgramsChangesAreNot) {
  state_ = StateOf(IDD_MIDI_OPTIONS);
  state_.items[101].entries = {"Port A", "Port B"};
  react_ = [this](int, DialogEvent) { state_.items[102] = {"", false, true, {"Out 1", "Out 2"}, 1}; };
  Open(IDD_MIDI_OPTIONS, [&](DialogUser& user) {
    EXPECT_EQ(user.Text(101), "");  // nothing chosen
    user.Pick(101, 1);
    EXPECT_EQ(user.Text(101), "Port B");
    EXPECT_EQ(user.Text(102), "Out 2");
    user.Click(IDCANCEL);
  });
  ASSERT_EQ(events_, (std::vector<Event>{{101, E::Select, {}}, {IDCANCEL, E::Click, {}}}));
  EXPECT_EQ(events_[0].item.selection, 1);

  events_.clear();
  state_ = StateOf(IDD_AUDIO_OPTIONS);
  state_.items[11].text = "24000";
  Open(IDD_AUDIO_OPTIONS, [&](DialogUser& user) {
    EXPECT_EQ(user.Text(11), "24000");
    user.Type(11, "48");
    EXPECT_EQ(user.Text(11), "48");
    user.Click(IDOK);
  });
  ASSERT_EQ(events_, (std::vector<Event>{{11, E::Edit, {}}, {11, E::Edit, {}}, {IDOK, E::Click, {}}}));
  EXPECT_EQ(events_[0].item.text, "4");
  EXPECT_EQ(events_[1].item.text, "48");
}

TEST_P(Dialogs, EnterClicksTheDefaultButtonAndEscAndTheCloseBoxClickCancel) {
  state_ = StateOf(IDD_FILE_OPTIONS);
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.PressEnter(); }), IDOK);
  state_ = StateOf(IDD_FILE_OPTIONS);
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.PressEsc(); }), IDCANCEL);
  state_ = StateOf(IDD_FILE_OPTIONS);
  EXPECT_EQ(Open(IDD_FILE_OPTIONS, [](DialogUser& user) { user.CloseBox(); }), IDCANCEL);
}

}  // namespace
}  // namespace conformance
