#include "shell/display.h"

#include <cstdio>
#include <utility>

#include "files/codec/u255.h"
#include "shell/app_state.h"

const COLORREF color_table[COLOR_COUNT] = {
    RGB(0, 0, 0),     RGB(158, 114, 0), RGB(232, 0, 0),     RGB(232, 177, 0),   RGB(235, 239, 0),
    RGB(14, 219, 0),  RGB(26, 0, 231),  RGB(163, 0, 194),   RGB(128, 128, 128), RGB(255, 255, 255),
};

namespace {

constexpr int COLOR_BLUE = 6;
constexpr int COLOR_GREY = 8;

constexpr int PICTURE_SIZE = 64;
constexpr int MARK_SIZE = 28;  // the mark bitmaps are 32 x 32; only this corner is copied
constexpr int BUTTON_WIDTH = 64;
constexpr int BUTTON_HEIGHT = 28;
constexpr int ROW_GAP = 30;    // from the Program row down to the Verify row

struct ClientSize {
  int w;
  int h;
};

ClientSize ReadClientSize(HWND hWnd) {
  const RECT r = plat::GetClientRect(hWnd);
  return {r.right - r.left, r.bottom - r.top};
}

// The type in use; an out-of-range value (only a damaged configuration could
// leave one) reads as the default type, as the image model does.
const EPROM_INFO& TypeInfo(const ImageModel& image) {
  return EPROM_info[image.EPROM_type < etINVALID ? image.EPROM_type : et2764];
}

void LayoutFor(ClientSize c, DisplayLayout& layout, eaEnum arrangement) {
  int* hPosEPROM = layout.hPosEPROM;
  RECT* rScopeWindow = layout.rScopeWindow;
  layout.hPosSound[0] = 64;
  layout.hPosSound[1] = c.w / 2 + 64;
  rScopeWindow[0].left = 4;
  rScopeWindow[0].right = c.w - 4;
  switch (arrangement) {
    case eaOneEpromTwoSounds:
      rScopeWindow[0].right = c.w / 2 - 2;
      rScopeWindow[1].left = c.w / 2 - 2;
      rScopeWindow[1].right = c.w - 4;
      hPosEPROM[0] = c.w / 2 - 64;
      break;
    case eaOneEpromOneSound:
      hPosEPROM[0] = c.w / 2 - 64;
      break;
    case eaTwoEpromsOneSound:
      hPosEPROM[0] = c.w / 4 - 64;
      hPosEPROM[1] = 3 * c.w / 4 - 64;
      break;
    default:
      hPosEPROM[0] = c.w / 8 - 64;
      hPosEPROM[1] = 3 * c.w / 8 - 64;
      hPosEPROM[2] = 5 * c.w / 8 - 64;
      hPosEPROM[3] = 7 * c.w / 8 - 64;
      break;
  }
}

int ProgramRow(ClientSize c) { return c.h / 2 + 10; }
int VerifyRow(ClientSize c) { return ProgramRow(c) + ROW_GAP; }
int ButtonColumn(const DisplayLayout& layout, UINT i) { return layout.hPosEPROM[i] + 34; }
int MarkColumn(const DisplayLayout& layout, UINT i) { return layout.hPosEPROM[i] + 112; }
int MidRow(const RECT& panel) { return (panel.top + panel.bottom) / 2; }

void DrawLine(Canvas& dc, int x0, int y0, int x1, int y1) {
  dc.MoveTo(x0, y0);
  dc.LineTo(x1, y1);
}

void DrawFramesAndDividers(Canvas& dc, ClientSize c, const DisplayLayout& layout, const ImageModel& image) {
  dc.SetPen(4, color_table[COLOR_GREY], true);
  for (UINT i = 0; i < image.nSounds(); ++i) {
    const RECT& r = layout.rScopeWindow[i];
    dc.MoveTo(r.left, r.top);
    dc.LineTo(r.right, r.top);
    dc.LineTo(r.right, r.bottom);
    dc.LineTo(r.left, r.bottom);
    dc.LineTo(r.left, r.top);
  }
  // Where one EPROM's share of the single sound ends and the next begins.
  const RECT& panel = layout.rScopeWindow[0];
  if (image.nEPROMs() > 1) DrawLine(dc, c.w / 2 - 2, panel.top, c.w / 2 - 2, panel.bottom);
  if (image.nEPROMs() > 2) {
    DrawLine(dc, c.w / 4 - 2, panel.top, c.w / 4 - 2, panel.bottom);
    DrawLine(dc, 3 * c.w / 4 - 2, panel.top, 3 * c.w / 4 - 2, panel.bottom);
  }
}

void DrawZeroLines(Canvas& dc, const DisplayLayout& layout, const ImageModel& image) {
  dc.SetPen(1, color_table[COLOR_GREY], true);
  for (UINT i = 0; i < image.nSounds(); ++i) {
    const RECT& r = layout.rScopeWindow[i];
    DrawLine(dc, r.left, MidRow(r), r.right, MidRow(r));
  }
}

// One vertical stroke per pixel column, covering the samples gathered since
// the previous stroke. The bounds are exchanged after each stroke, so the
// next range starts from the nearer end of the last one and the strokes join
// into a continuous trace. Only `count` of the sound's `n` samples are drawn
// (fewer when the sound would run past the image), spaced as for all `n`.
void DrawWaveform(Canvas& dc, const RECT& panel, const BYTE* samples, UINT count, UINT n) {
  const double dx = static_cast<double>(panel.right - panel.left) / n;
  const int mid = MidRow(panel);
  double oldx = panel.left;
  double miny = 0;
  double maxy = 0;
  for (UINT j = 0; j < count; ++j) {
    const double newx = oldx + dx;
    const double newy = ScaleForDisplay(samples[j], mid, panel.top);
    if (j == 0) miny = maxy = newy;
    if (j == 0 || static_cast<int>(newx) != static_cast<int>(oldx)) {
      const int x = static_cast<int>(newx);
      DrawLine(dc, x, static_cast<int>(miny), x, static_cast<int>(maxy));
      std::swap(miny, maxy);
    }
    if (newy > maxy) maxy = newy;
    if (newy < miny) miny = newy;
    oldx = newx;
  }
}

// Samples of sound `s` that lie within the image: a type and arrangement
// that would run past its end (a hand-edited configuration) are cut there.
UINT SamplesInImage(UINT s, UINT n) {
  const uint64_t start = static_cast<uint64_t>(s) * n;
  if (start >= IMAGE_SIZE) return 0;
  const uint64_t room = IMAGE_SIZE - start;
  return static_cast<UINT>(n < room ? n : room);
}

void DrawWaveforms(Canvas& dc, UINT n, const DisplayLayout& layout, const ImageModel& image) {
  // The missing image was reported at start-up; there is simply nothing to show.
  const BYTE* bytes = image.imgMemory.get();
  if (bytes == nullptr) return;
  dc.SetPen(2, color_table[COLOR_BLUE], true);
  for (UINT i = 0; i < image.nSounds(); ++i) {
    const RECT& panel = layout.rScopeWindow[i];
    if (panel.right <= panel.left) continue;  // a window too narrow has no room for a trace
    const UINT count = SamplesInImage(i, n);
    if (count > 0) DrawWaveform(dc, panel, bytes + static_cast<size_t>(i) * n, count, n);
  }
}

void DrawMark(Canvas& dc, UINT flags, UINT doneBit, UINT failedBit, int x, int y) {
  if (!(flags & doneBit)) return;
  dc.DrawBitmap((flags & failedBit) ? IDB_CROSS : IDB_CHECK, x, y, MARK_SIZE, MARK_SIZE);
}

void DrawPicturesAndMarks(Canvas& dc, ClientSize c, const DisplayLayout& layout, const ImageModel& image) {
  for (UINT i = 0; i < image.nEPROMs(); ++i) {
    const UINT flags = image.EpromFlags[i];
    dc.DrawBitmap(IDB_EPROM, layout.hPosEPROM[i] - 32, ProgramRow(c), PICTURE_SIZE, PICTURE_SIZE);
    DrawMark(dc, flags, efProgrammed, efProgramFailed, MarkColumn(layout, i), ProgramRow(c));
    DrawMark(dc, flags, efVerified, efVerifyFailed, MarkColumn(layout, i), VerifyRow(c));
  }
}

void DrawTexts(Canvas& dc, ClientSize c, const DisplayLayout& layout, const ImageModel& image) {
  dc.SetFont(layout.lf);
  dc.SetTextAlign(TA_CENTER | TA_TOP);
  const EPROM_INFO& type = TypeInfo(image);
  const UINT eproms = image.nEPROMs();
  const UINT sounds = image.nSounds();
  char text[TEXT_BUFFER_SIZE];
  for (UINT i = 0; i < eproms; ++i) {
    const int centre = layout.hPosEPROM[i] + 32;
    std::snprintf(text, sizeof text, "EPROM %d of %d", static_cast<int>(i + 1), static_cast<int>(eproms));
    dc.PutText(centre, 2 * c.h / 3 - 10, text);
    std::snprintf(text, sizeof text, "%s (%dK)", type.etName, static_cast<int>(type.etSizeK));
    dc.PutText(centre, 2 * c.h / 3 + 10, text);
  }
  dc.SetTextAlign(TA_LEFT | TA_TOP);
  for (UINT i = 0; i < sounds; ++i) {
    const int number = static_cast<int>(i + 1);
    if (sounds > 1) {
      std::snprintf(text, sizeof text, "File %d", number);
      dc.PutText(layout.hPosSound[i] + 32, c.h / 3 + 12, text);
    }
    if (image.SoundFileLoaded[i])
      std::snprintf(text, sizeof text, "File %d: %s", number, image.SoundFile[i].c_str());
    else
      std::snprintf(text, sizeof text, "File %d: ?", number);
    dc.PutText(10, 3 * c.h / 4 + 32 * static_cast<int>(i), text);
  }
}

void DestroyButton(HWND& button) {
  if (button != nullptr) plat::DestroyWindow(button);
  button = nullptr;
}

}  // namespace

void InitLabelFont(DisplayLayout& layout) {
  LOGFONT& lf = layout.lf;
  lf = LOGFONT();
  lf.lfHeight = -13;
  lf.lfWeight = 400;
  lf.lfCharSet = 0;            // ANSI
  lf.lfOutPrecision = 3;       // stroke
  lf.lfClipPrecision = 2;      // stroke
  lf.lfQuality = 1;            // draft
  lf.lfPitchAndFamily = 0x22;  // variable pitch, Swiss family
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", "Courier New");
}

void ComputeEpromCoordinates(HWND hWnd, DisplayLayout& layout, const ImageModel& image) {
  LayoutFor(ReadClientSize(hWnd), layout, image.EPROM_Arrangement);
}

void CreateButttons(HWND hWnd, DisplayLayout& layout, const ImageModel& image) {
  const ClientSize c = ReadClientSize(hWnd);
  LayoutFor(c, layout, image.EPROM_Arrangement);
  for (UINT i = 0; i < MAX_EPROMS; ++i) {
    DestroyButton(layout.hProgButton[i]);
    DestroyButton(layout.hVerifyButton[i]);
  }
  for (UINT i = 0; i < image.nEPROMs(); ++i) {
    const int id = static_cast<int>(i);
    const int x = ButtonColumn(layout, i);
    layout.hProgButton[i] =
        plat::CreateButton(hWnd, "Program", ID_PROGRAM_BUTTON + id, x, ProgramRow(c), BUTTON_WIDTH, BUTTON_HEIGHT);
    layout.hVerifyButton[i] =
        plat::CreateButton(hWnd, "Verify", ID_VERIFY_BUTTON + id, x, VerifyRow(c), BUTTON_WIDTH, BUTTON_HEIGHT);
  }
}

void MoveButtons(HWND hWnd, DisplayLayout& layout, const ImageModel& image) {
  const ClientSize c = ReadClientSize(hWnd);
  LayoutFor(c, layout, image.EPROM_Arrangement);
  for (UINT i = 0; i < image.nEPROMs(); ++i) {
    const int x = ButtonColumn(layout, i);
    if (layout.hProgButton[i] != nullptr)
      plat::MoveWindow(layout.hProgButton[i], x, ProgramRow(c), BUTTON_WIDTH, BUTTON_HEIGHT, true);
    if (layout.hVerifyButton[i] != nullptr)
      plat::MoveWindow(layout.hVerifyButton[i], x, VerifyRow(c), BUTTON_WIDTH, BUTTON_HEIGHT, true);
  }
}

double ScaleForDisplay(int k, int zeroline, int maxheight) {
  const int outputRange = maxheight > zeroline ? maxheight - zeroline : zeroline - maxheight;
  return static_cast<double>(zeroline - u255lawToLinear(k, outputRange));
}

void PaintMainWindow(Canvas& dc, HWND hWnd, DisplayLayout& layout, const ImageModel& image) {
  const ClientSize c = ReadClientSize(hWnd);
  LayoutFor(c, layout, image.EPROM_Arrangement);
  for (UINT i = 0; i < image.nSounds(); ++i) {
    layout.rScopeWindow[i].top = SCOPE_TOP;
    layout.rScopeWindow[i].bottom = ScopeBottom(c.h);
  }
  DrawFramesAndDividers(dc, c, layout, image);
  DrawZeroLines(dc, layout, image);
  const UINT n = image.DataSize();
  if (n == 0)
    plat::MessageBox(hWnd, "Scale problem", nullptr, MB_OK);
  else
    DrawWaveforms(dc, n, layout, image);
  DrawPicturesAndMarks(dc, c, layout, image);
  DrawTexts(dc, c, layout, image);
}
