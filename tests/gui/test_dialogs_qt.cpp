// The Qt dialog host: dialogs built from the templates where the dialog units
// put their controls, and driven as a user would through the real dialog
// procedures. What every back end must do alike is in tests/conformance.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/headless/platform_headless.h"
#include "platform/qt/dialogs_qt.h"
#include "resources/dialog_templates.h"
#include "settings/dialogs.h"
#include "shell/app_state.h"
#include "shell/image_model.h"
#include "files/file_settings.h"
#include "tests/gui/gui_support.h"
#include "tests/support/core_fixture.h"
#include "tests/support/dialog_recorder.h"

namespace {

// The headless platform with its dialogs shown by the Qt host, as the
// desktop back end forwards them.
class QtDialogPlatform : public headless::HeadlessPlatform {
 public:
  explicit QtDialogPlatform(QtDialogHost& host) : host_(host) {}
  INT_PTR ShowDialog(HWND o, int t, DialogState& s, const DialogEventHandler& e) override {
    return host_.ShowDialog(o, t, s, e);
  }

 private:
  QtDialogHost& host_;
};

using testsupport::CommandsReceived;
using testsupport::g_onInit;
using testsupport::g_received;
constexpr DLGPROC RecordingProc = testsupport::RecordingDialogProc;

class QtDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = plat::Install(&platform_);
    core_.emplace();
    platform_.SetCurrentDirectoryForTest(temp_.path());
    platform_.SetConfigDirectory(temp_.path());
    g_received.clear();
    g_onInit = nullptr;
  }
  void TearDown() override {
    g_onInit = nullptr;
    core_.reset();
    plat::Install(previous_);
  }

  // Opens a dialog and runs `script` on it once its loop runs. A dialog
  // the script leaves open is closed without its procedure, so that a
  // failing test does not hang.
  INT_PTR Open(int templateId, DLGPROC proc, const std::function<void(HWND)>& script, LPARAM param = 0) {
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, [&] {
      if (HWND h = host_.ActiveDialog()) script(h);
      if (HWND h = host_.ActiveDialog()) D(h)->done(0);
    });
    start.start(0);
    SettingsContext settings = core_->Settings();
    return ShowSettingsDialog(nullptr, templateId, proc, settings, param);
  }

  QWidget* W(HWND h, int id) { return host_.ControlWidget(h, id); }
  // A control of the template; the statics, which share one id, by text.
  QWidget* W(HWND h, const DialogControl& def) {
    if (def.id != IDC_STATIC) return W(h, def.id);
    for (QLabel* label : D(h)->findChildren<QLabel*>())
      if (label->text() == QString::fromUtf8(def.text)) return label;
    return nullptr;
  }
  QDialog* D(HWND h) { return static_cast<QDialog*>(host_.DialogWidget(h)); }
  bool Checked(HWND h, int id) {
    auto* button = qobject_cast<QAbstractButton*>(W(h, id));
    return button && button->isChecked();
  }
  bool Enabled(HWND h, int id) { return W(h, id) && W(h, id)->isEnabled(); }
  std::string Checks(HWND h, int first, int last) {
    std::string s;
    for (int id = first; id <= last; ++id) s += Checked(h, id) ? '1' : '0';
    return s;
  }

  void Click(HWND h, int id) { guitest::ClickControl(W(h, id)); }
  void Pick(HWND h, int id, int index) { guitest::PickEntry(W(h, id), index); }
  void Type(HWND h, int id, const char* text) { guitest::TypeInto(W(h, id), text); }
  void PressEsc(HWND h) { QTest::keyClick(D(h), Qt::Key_Escape); }
  void CloseBox(HWND h) { D(h)->close(); }
  bool ConfigSaved() const { return testsupport::FileExists(temp_.File(szCfgName)); }

  // The session and the parts of it the tests set and read.
  ImageModel& Model() { return core_->image; }
  FileSettings& Settings() { return core_->fileSettings; }

  testsupport::TempDir temp_;
  QtDialogHost host_{nullptr};
  QtDialogPlatform platform_{host_};
  plat::Parts previous_;
  std::optional<CoreSession> core_;
};

// --- dialogs built from their templates ---------------------------------------

bool Overlaps(int a0, int a1, int b0, int b1) { return a0 < b1 && b0 < a1; }

const char* WidgetClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::Static: return "QLabel";
    case ControlKind::GroupBox: return "QGroupBox";
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: return "QPushButton";
    case ControlKind::RadioButton:
    case ControlKind::AutoRadioButton: return "QRadioButton";
    case ControlKind::AutoCheckBox: return "QCheckBox";
    case ControlKind::Edit: return "QLineEdit";
    case ControlKind::DropDownList: return "QComboBox";
  }
  return "";
}

TEST_F(QtDialogTest, EveryTemplateBuildsItsControlsWhereTheDialogUnitsPutThem) {
  const char* shots = std::getenv("TALVERINE_SCREENSHOT_DIR");
  for (const DialogTemplate& tpl : AllDialogTemplates()) {
    SCOPED_TRACE(tpl.caption);
    Open(tpl.id, RecordingProc, [&](HWND h) {
      QDialog* dialog = D(h);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(tpl.caption));
      EXPECT_TRUE(dialog->isModal());
      EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
      EXPECT_EQ(dialog->font().pointSize(), tpl.fontPoints);
      const DialogUnits u = MeasureDialogUnits(dialog->font());
      ASSERT_GT(u.baseX, 0);
      ASSERT_GT(u.baseY, 0);
      EXPECT_EQ(dialog->size(), QSize(u.ToPixelsX(tpl.w), u.ToPixelsY(tpl.h)));

      for (const DialogControl& def : tpl.controls) {
        SCOPED_TRACE(def.id);
        QWidget* w = W(h, def);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(WidgetClass(def.kind))) << w->metaObject()->className();
        EXPECT_TRUE(w->isEnabled() && w->isVisible());
        if (auto* button = qobject_cast<QPushButton*>(w)) {
          EXPECT_EQ(button->isDefault(), def.kind == ControlKind::DefaultPushButton);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
          EXPECT_EQ(bool(edit->alignment() & Qt::AlignRight), bool(def.style & CS_ALIGN_RIGHT));
        }
        const QRect r = w->geometry();
        EXPECT_EQ(r.x(), u.ToPixelsX(def.x));
        EXPECT_EQ(r.y(), u.ToPixelsY(def.y));
        EXPECT_EQ(r.width(), u.ToPixelsX(def.w));
        if (def.kind == ControlKind::DropDownList)
          EXPECT_LT(r.height(), u.ToPixelsY(def.h));  // the closed box alone
        else
          EXPECT_EQ(r.height(), u.ToPixelsY(def.h));
        EXPECT_TRUE(dialog->rect().contains(r)) << r.x() << "," << r.y();
        // Texts fit their controls.
        if (qobject_cast<QAbstractButton*>(w)) {
          EXPECT_LE(w->sizeHint().width(), r.width());
        }
      }
      // What sits inside a group box in dialog units sits inside its frame,
      // and the frame is beneath it.
      for (const DialogControl& box : tpl.controls) {
        if (box.kind != ControlKind::GroupBox) continue;
        const QRect frame = W(h, box)->geometry();
        for (const DialogControl& c : tpl.controls) {
          if (&c == &box || c.x < box.x || c.y < box.y || c.x + c.w > box.x + box.w || c.y + c.h > box.y + box.h)
            continue;
          QWidget* inner = W(h, c);
          EXPECT_TRUE(frame.contains(inner->geometry())) << c.id;
          EXPECT_LT(dialog->children().indexOf(W(h, box)), dialog->children().indexOf(inner)) << c.id;
        }
      }
      // Controls apart in dialog units stay apart (group boxes and the
      // dropped lists' room aside).
      for (const DialogControl& a : tpl.controls)
        for (const DialogControl& b : tpl.controls) {
          if (&a == &b || a.kind == ControlKind::GroupBox || b.kind == ControlKind::GroupBox) continue;
          const int ah = a.kind == ControlKind::DropDownList ? 14 : a.h;
          const int bh = b.kind == ControlKind::DropDownList ? 14 : b.h;
          if (Overlaps(a.x, a.x + a.w, b.x, b.x + b.w) && Overlaps(a.y, a.y + ah, b.y, b.y + bh)) continue;
          EXPECT_FALSE(W(h, a)->geometry().intersects(W(h, b)->geometry())) << a.id << " and " << b.id;
        }
      if (shots) dialog->grab().save(QStringLiteral("%1/dialog%2.png").arg(QString::fromLocal8Bit(shots)).arg(tpl.id));
      PressEsc(h);
    });
  }
}

TEST_F(QtDialogTest, TheProcedureIsCalledBeforeTheDialogShows) {
  bool visibleAtInit = true;
  g_onInit = [&](HWND) {
    const HWND shown = host_.ActiveDialog();
    visibleAtInit = shown != nullptr && D(shown)->isVisible();
  };
  const INT_PTR result = Open(IDD_WHICH_EPROM, RecordingProc, [&](HWND h) {
    EXPECT_TRUE(D(h)->isVisible());
    Click(h, IDOK);
  }, 1234);
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(visibleAtInit);
  EXPECT_EQ(host_.ActiveDialog(), nullptr);
}

TEST_F(QtDialogTest, AnotherWindowsHandleIsNoDialog) {
  int notADialog = 0;
  EXPECT_EQ(host_.DialogWidget(reinterpret_cast<HWND>(&notADialog)), nullptr);
}

// --- what a click, a key, typing and a list choice send ---------------------------

TEST_F(QtDialogTest, RadioButtonsCheckedByTheProgramWaitForTheProcedure) {
  HWND procedures = nullptr;  // the dialog as its procedure knows it
  g_onInit = [&](HWND h) { procedures = h; };
  Open(IDD_EPROM_OPTIONS, RecordingProc, [&](HWND h) {
    Click(h, 14);
    Click(h, 18);
    EXPECT_EQ(Checks(h, 13, 18), "000000");  // the recording procedure checks nothing
    dlg::CheckDlgButton(procedures, 14, true);
    Click(h, 14);                            // nor unchecks
    EXPECT_TRUE(Checked(h, 14));
    QTest::keyClick(W(h, 14), Qt::Key_Up);   // an arrow key clicks the previous one
    EXPECT_EQ(D(h)->focusWidget(), W(h, 13));
    EXPECT_EQ(Checks(h, 13, 16), "0100");
    Click(h, IDOK);
  });
  EXPECT_EQ(CommandsReceived(BN_CLICKED), (std::vector<int>{14, 18, 14, 13, IDOK}));
}

// --- the real procedures ----------------------------------------------------------

TEST_F(QtDialogTest, EpromOptionsFollowTheTypeChosenInTheList) {
  Model().EPROM_type = et2764;
  Model().EPROM_Arrangement = eaOneEpromOneSound;
  Open(IDD_EPROM_OPTIONS, EPROMDialog, [&](HWND h) {
    auto* list = qobject_cast<QComboBox*>(W(h, 11));
    ASSERT_EQ(list->count(), 11);
    EXPECT_EQ(list->itemText(0), QStringLiteral("2732 (  4K)"));
    EXPECT_EQ(list->currentIndex(), static_cast<int>(et2764));
    Click(h, 16);
    EXPECT_EQ(Checks(h, 13, 16), "0001");
    Pick(h, 11, et27256);  // four EPROMs give way to two
    EXPECT_EQ(Checks(h, 13, 16), "0010");
    EXPECT_FALSE(Enabled(h, 16));
    EXPECT_TRUE(Enabled(h, 15));
    Pick(h, 11, et27512);  // and two to one
    EXPECT_EQ(Checks(h, 13, 16), "1000");
    EXPECT_FALSE(Enabled(h, 15));
    Click(h, 15);          // disabled: nothing happens
    EXPECT_EQ(Checks(h, 13, 16), "1000");
    Click(h, 14);
    Click(h, 18);
    Click(h, IDOK);
  });
  EXPECT_EQ(Model().EPROM_type, et27512);
  EXPECT_EQ(Model().EPROM_Arrangement, eaOneEpromTwoSounds);
  EXPECT_EQ(Model().cMemoryFillValue, 0xFFu);
  EXPECT_TRUE(ConfigSaved());
}

TEST_F(QtDialogTest, ChooseSoundClosesOnlyThroughOk) {
  const char* name = "/home/user/samples/percussion-with-a-rather-long-name.wav";
  const INT_PTR result = Open(IDD_CHOOSE_SOUND, WhichHalfDialog, [&](HWND h) {
    EXPECT_EQ(guitest::ShownText(W(h, 104)), name);
    EXPECT_EQ(Checks(h, 101, 103), "100");
    PressEsc(h);
    CloseBox(h);
    QApplication::processEvents();
    EXPECT_TRUE(D(h)->isVisible());
    EXPECT_EQ(host_.ActiveDialog(), h);
    Click(h, 103);
    EXPECT_EQ(Checks(h, 101, 103), "001");
    QTest::keyClick(D(h), Qt::Key_Return);
  }, reinterpret_cast<LPARAM>(name));
  EXPECT_EQ(result, CHOOSE_BOTH_SOUNDS);
}

TEST_F(QtDialogTest, WhichEpromCancelsWithMinusOneAndOffersOnlyTheEpromsThereAre) {
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  EXPECT_EQ(Open(IDD_WHICH_EPROM, WhichEPROMDialog, [&](HWND h) { PressEsc(h); }, 2), -1);
  EXPECT_EQ(Open(IDD_WHICH_EPROM, WhichEPROMDialog, [&](HWND h) { CloseBox(h); }, 2), -1);

  Model().EPROM_Arrangement = eaTwoEpromsOneSound;
  const INT_PTR result = Open(IDD_WHICH_EPROM, WhichEPROMDialog, [&](HWND h) {
    EXPECT_EQ(Checks(h, 101, 104), "0100");
    EXPECT_FALSE(Enabled(h, 103));
    EXPECT_FALSE(Enabled(h, 104));
    Click(h, 104);
    Click(h, 9);  // Help: nothing
    EXPECT_EQ(Checks(h, 101, 104), "0100");
    QTest::keyClick(W(h, 102), Qt::Key_Down);  // round the group, past the disabled
    EXPECT_EQ(Checks(h, 101, 104), "1000");
    EXPECT_EQ(D(h)->focusWidget(), W(h, 101));
    Click(h, IDOK);
  }, 3);
  EXPECT_EQ(result, 0);
}

TEST_F(QtDialogTest, AudioOptionsStoreTheTypedRateClamped) {
  struct Case {
    const char* typed;
    UINT stored;
  };
  for (const Case& c : {Case{"500", 1200}, Case{"200000", 96000}, Case{"4x1", 1200}, Case{"32000", 32000}}) {
    SCOPED_TRACE(c.typed);
    Open(IDD_AUDIO_OPTIONS, AudioOptionsDialog, [&](HWND h) {
      Type(h, 11, c.typed);
      Click(h, IDOK);
    });
    EXPECT_EQ(Settings().sample_rate, c.stored);
  }
  EXPECT_TRUE(ConfigSaved());
}

}  // namespace
