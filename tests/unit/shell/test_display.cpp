// The main window display, read back from the canvas calls and buttons the
// headless platform records.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/display.h"
#include "tests/support/core_fixture.h"

namespace {

using headless::CanvasOp;
using Strings = std::vector<std::string>;

// The display's share of the main window.
class DisplayWindow : public WindowEvents {
 public:
  bool Created(HWND window) override {
    window_ = window;
    InitLabelFont(S().layout);
    CreateButttons(window, S().layout, S().image);
    return true;
  }
  void Resized() override { MoveButtons(window_, S().layout, S().image); }
  void Paint(Canvas& canvas) override { PaintMainWindow(canvas, window_, S().layout, S().image); }

 private:
  static CoreSession& S() { return CoreSession::Current(); }
  HWND window_ = nullptr;
};

std::string At(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

struct Stroke { int x, y0, y1; };

class DisplayTest : public testsupport::CoreTest {
 protected:
  void Open(eaEnum arrangement, etEnum type = et2764, int w = 600, int h = 480) {
    Model().EPROM_Arrangement = arrangement;
    Model().EPROM_type = type;
    P().SetClientSize(w, h);
    main_ = plat::CreateMainWindow("Kilnbox EPROM Utility", window_);
    Repaint();
  }
  void Repaint() {
    plat::InvalidateRect(main_, true);
    P().Pump();
  }
  // The latest paint as "<pen width>:x,y-x,y" lines, "b<id>@x,y/w,h" bitmaps,
  // "f<height>,<weight> <face>" fonts and "c x,y text" or "l x,y text" texts
  // (centred or left), those starting with `prefix`. Checks every pen.
  Strings Painted(const std::string& prefix) {
    Strings out;
    int pen = 0;
    std::string from;
    char align = '?';
    for (const CanvasOp& op : P().lastPaint) {
      std::string s;
      if (op.kind == CanvasOp::Pen) {
        pen = op.a;
        EXPECT_EQ(static_cast<COLORREF>(op.b), pen == 2 ? RGB(26, 0, 231) : RGB(128, 128, 128));
        EXPECT_EQ(op.c, 1) << "inside-frame pen";
      }
      if (op.kind == CanvasOp::MoveTo) from = At(op.a, op.b);
      if (op.kind == CanvasOp::LineTo) {
        s = std::to_string(pen) + ":" + from + "-" + At(op.a, op.b);
        from = At(op.a, op.b);
      }
      if (op.kind == CanvasOp::Bitmap) s = "b" + std::to_string(op.a) + "@" + At(op.b, op.c) + "/" + At(op.d, op.e);
      if (op.kind == CanvasOp::Font) s = "f" + At(op.a, op.b) + " " + op.text;
      if (op.kind == CanvasOp::Align) align = op.a == (TA_CENTER | TA_TOP) ? 'c' : op.a == (TA_LEFT | TA_TOP) ? 'l' : '?';
      if (op.kind == CanvasOp::Text) s = align + (" " + At(op.a, op.b) + " " + op.text);
      if (!s.empty() && s.rfind(prefix, 0) == 0) out.push_back(s);
    }
    return out;
  }
  std::vector<Stroke> Strokes() {
    std::vector<Stroke> out;
    const std::vector<CanvasOp>& ops = P().lastPaint;
    int pen = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
      if (ops[i].kind == CanvasOp::Pen) pen = ops[i].a;
      if (pen != 2 || ops[i].kind != CanvasOp::LineTo) continue;
      EXPECT_EQ(ops[i - 1].a, ops[i].a) << "vertical";
      out.push_back({ops[i].a, ops[i - 1].b, ops[i].b});
    }
    return out;
  }
  Strings Buttons() {
    Strings out;
    for (const auto& b : P().Buttons())
      out.push_back(std::to_string(b.id) + " " + b.label + " " + At(b.x, b.y) + "/" + At(b.w, b.h));
    std::sort(out.begin(), out.end());
    return out;
  }

  DisplayWindow window_;
  HWND main_ = nullptr;
};

TEST_F(DisplayTest, OneEpromOneSound) {
  Open(eaOneEpromOneSound);
  EXPECT_EQ(Painted("4:"), (Strings{"4:4,4-596,4", "4:596,4-596,156", "4:596,156-4,156", "4:4,156-4,4"}));
  EXPECT_EQ(Painted("1:"), (Strings{"1:4,80-596,80"}));
  EXPECT_EQ(Painted("b"), (Strings{"b1@204,250/64,64"}));
  EXPECT_EQ(Painted("c"), (Strings{"c 268,310 EPROM 1 of 1", "c 268,330 2764 (8K)"}));
  EXPECT_EQ(Painted("l"), (Strings{"l 10,360 File 1: ?"}));
  EXPECT_EQ(Buttons(), (Strings{"210 Program 270,250/64,28", "220 Verify 270,280/64,28"}));
  EXPECT_EQ(Painted("f"), (Strings{"f-13,400 Courier New"}));
  const LOGFONT& lf = Session().layout.lf;
  EXPECT_EQ(std::make_tuple(lf.lfOutPrecision, lf.lfClipPrecision, lf.lfQuality, lf.lfPitchAndFamily),
            std::make_tuple(3, 2, 1, 0x22));
  std::string order;  // frames, zero line, wave, picture, font, centred and left texts
  for (const std::string& s : Painted(""))
    if (order.empty() || order.back() != s[0]) order += s[0];
  EXPECT_EQ(order, "412bfcl");
}

TEST_F(DisplayTest, OneEpromTwoSoundsShareAnEdgeWithoutDivider) {
  Model().SoundFile[0] = "/samples/kick.wav";
  Model().SoundFileLoaded[0] = 1;
  Model().SoundFile[1] = "/samples/stale.wav";  // no valid flag: not shown
  Open(eaOneEpromTwoSounds);
  EXPECT_EQ(Painted("4:"), (Strings{"4:4,4-298,4", "4:298,4-298,156", "4:298,156-4,156", "4:4,156-4,4",
                                    "4:298,4-596,4", "4:596,4-596,156", "4:596,156-298,156", "4:298,156-298,4"}));
  EXPECT_EQ(Painted("1:"), (Strings{"1:4,80-298,80", "1:298,80-596,80"}));
  EXPECT_EQ(Painted("l"), (Strings{"l 96,172 File 1", "l 10,360 File 1: /samples/kick.wav", "l 396,172 File 2",
                                   "l 10,392 File 2: ?"}));
}

TEST_F(DisplayTest, SeveralEpromsGetDividersAnchorsAndButtonPairs) {
  Open(eaTwoEpromsOneSound);
  EXPECT_EQ(Painted("4:").back(), "4:298,4-298,156");
  EXPECT_EQ(Painted("4:").size(), 5u);

  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  Model().EPROM_type = et27128;
  CreateButttons(main_, Session().layout, Model());
  Repaint();
  const Strings frames = Painted("4:");
  EXPECT_EQ(Strings(frames.begin() + 4, frames.end()), (Strings{"4:298,4-298,156", "4:148,4-148,156", "4:448,4-448,156"}));
  const int* hPosEPROM = Session().layout.hPosEPROM;
  EXPECT_EQ(std::vector<int>(hPosEPROM, hPosEPROM + 4), (std::vector<int>{11, 161, 311, 461}));
  EXPECT_EQ(Painted("b"), (Strings{"b1@-21,250/64,64", "b1@129,250/64,64", "b1@279,250/64,64", "b1@429,250/64,64"}));
  EXPECT_EQ(Painted("c").back(), "c 493,330 27128 (16K)");
  EXPECT_EQ(Painted("c")[6], "c 493,310 EPROM 4 of 4");
  EXPECT_EQ(Buttons(), (Strings{"210 Program 45,250/64,28", "211 Program 195,250/64,28", "212 Program 345,250/64,28",
                                "213 Program 495,250/64,28", "220 Verify 45,280/64,28", "221 Verify 195,280/64,28",
                                "222 Verify 345,280/64,28", "223 Verify 495,280/64,28"}));
}

TEST_F(DisplayTest, MarksShowOnlyWithTheirDoneBit) {
  Open(eaTwoEpromsOneSound);  // anchors 86 and 386
  Model().EpromFlags[0] = efProgrammed | efVerified | efVerifyFailed;
  Model().EpromFlags[1] = efProgramFailed | efVerifyFailed;
  Repaint();
  EXPECT_EQ(Painted("b"), (Strings{"b1@54,250/64,64", "b2@198,250/28,28", "b3@198,280/28,28", "b1@354,250/64,64"}));
  Model().EpromFlags[1] = efProgrammed | efProgramFailed;
  Repaint();
  EXPECT_EQ(Painted("b").back(), "b3@498,250/28,28");
}

TEST(DisplayScale, SampleRowsInAPanelWithTopFourAndZeroLineEighty) {
  const std::vector<std::pair<int, double>> rows = {{0xFF, 7}, {0x7F, 153}, {0xC0, 76}, {0x40, 84}, {0x80, 80}, {0x00, 80}};
  for (auto [code, row] : rows) EXPECT_EQ(ScaleForDisplay(code, 80, 4), row) << code;
}

TEST_F(DisplayTest, LongSoundGetsOneStrokePerColumnShortOneOnePerSample) {
  for (UINT j = 0; j < IMAGE_SIZE; ++j) ImageBytes()[j] = (j % 2) ? 0x7F : 0xFF;
  Open(eaFourEpromsOneSound, et27128);  // 65536 samples on 592 pixels
  std::vector<Stroke> strokes = Strokes();
  ASSERT_EQ(strokes.size(), 593u);
  for (size_t i = 1; i < strokes.size(); ++i) {
    EXPECT_EQ(strokes[i].x, 4 + static_cast<int>(i));
    EXPECT_EQ(std::minmax(strokes[i].y0, strokes[i].y1), std::minmax(7, 153)) << "spans both signs";
  }

  Model().EPROM_Arrangement = eaOneEpromOneSound;
  Model().EPROM_type = et2732;  // 4096 samples on 4992 pixels
  for (UINT j = 0; j < 4096; ++j) ImageBytes()[j] = static_cast<BYTE>(0x80 + j % 128);  // rising ramps
  P().SetClientSize(5000, 480);
  strokes = Strokes();
  ASSERT_EQ(strokes.size(), 4096u);
  // Each stroke joins the two samples before it: a continuous trace, not a growing bar.
  for (int j = 2; j < 128; ++j) {
    EXPECT_GT(strokes[j].x, strokes[j - 1].x);
    const int a = static_cast<int>(ScaleForDisplay(ImageBytes()[j - 2], 80, 4));
    const int b = static_cast<int>(ScaleForDisplay(ImageBytes()[j - 1], 80, 4));
    EXPECT_EQ(std::minmax(strokes[j].y0, strokes[j].y1), std::minmax(a, b)) << j;
  }
}

TEST_F(DisplayTest, SizeZeroSaysScaleProblemAtEveryPaintAndDrawsTheRest) {
  Open(eaINVALID);
  Repaint();
  ASSERT_EQ(BoxTexts(), (Strings{"Scale problem", "Scale problem"}));
  const auto& box = P().messageBoxes[0];
  EXPECT_TRUE(box.owner == main_ && box.defaultCaption && box.type == MB_OK);
  EXPECT_TRUE(Painted("2:").empty());
  EXPECT_EQ(Painted("b").size(), 4u);
  EXPECT_EQ(Painted("l").size(), 1u);
}

TEST_F(DisplayTest, MissingImageOrImageTooSmallDrawsOnlyWhatExists) {
  Open(eaOneEpromOneSound);
  Strings full = Painted("");
  PlatformBytes image = std::move(Model().imgMemory);
  Repaint();
  Model().imgMemory = std::move(image);
  std::erase_if(full, [](const std::string& s) { return s.rfind("2:", 0) == 0; });
  EXPECT_EQ(Painted(""), full);
  EXPECT_TRUE(P().messageBoxes.empty());

  // 27512 on four EPROMs would be 256K: only the first quarter lies in the image.
  Model().EPROM_type = et27512;
  Model().EPROM_Arrangement = eaFourEpromsOneSound;
  Repaint();
  EXPECT_EQ(Strokes().size(), 149u);
  EXPECT_EQ(Strokes().back().x, 4 + 592 / 4);
}

TEST_F(DisplayTest, TinyWindowsAndLongNamesStaySafe) {
  Model().SoundFile[0] = std::string(3000, 'n');
  Model().SoundFileLoaded[0] = 1;
  Open(eaOneEpromTwoSounds);
  const std::string shown = Painted("l 10,360 ").at(0);
  EXPECT_EQ(shown.size(), 9 + TEXT_BUFFER_SIZE - 1);
  EXPECT_EQ(shown.rfind("l 10,360 File 1: nnn", 0), 0u);

  for (auto [w, h] : {std::pair{1, 1}, std::pair{9, 5}, std::pair{3, 700}, std::pair{0, 0}}) {
    P().SetClientSize(w, h);
    EXPECT_EQ(P().Buttons().size(), 2u);
  }
  EXPECT_TRUE(Strokes().empty()) << "a panel without width gets no trace";
  EXPECT_TRUE(P().messageBoxes.empty());
}

TEST_F(DisplayTest, ButtonsAreRebuiltOnlyByCreateAndMovedOnResize) {
  Open(eaFourEpromsOneSound, et27128);
  P().SetClientSize(800, 600);  // anchor of EPROM 4: 7 * 800 / 8 - 64 = 636
  ASSERT_EQ(Buttons().size(), 8u);
  EXPECT_EQ(Buttons()[3], "213 Program 670,310/64,28");
  EXPECT_EQ(Buttons()[7], "223 Verify 670,340/64,28");

  Model().EPROM_Arrangement = eaOneEpromOneSound;
  CreateButttons(main_, Session().layout, Model());
  EXPECT_EQ(Buttons(), (Strings{"210 Program 370,310/64,28", "220 Verify 370,340/64,28"}));
  Model().EPROM_Arrangement = eaFourEpromsOneSound;  // changed, but not rebuilt yet
  P().SetClientSize(600, 480);
  EXPECT_EQ(Buttons().size(), 2u);
}

}  // namespace
