// The main window's client area: one framed panel per sound with its
// waveform, one picture per EPROM with its texts, marks and the Program and
// Verify buttons. Everything is laid out again from the client size and the
// arrangement on every paint, button creation and move.
#pragma once

#include "platform/platform.h"
#include "shell/image_model.h"

// Where things stand in the client area, laid out again from the client size
// and the arrangement by ComputeEpromCoordinates and by every paint.
struct DisplayLayout {
  RECT rScopeWindow[MAX_EPROMS] = {};  // frame of each sound panel; the first nSounds() are used
  int hPosSound[MAX_EPROMS] = {};      // x anchor of each sound's short label
  int hPosEPROM[MAX_EPROMS] = {};      // x anchor of each EPROM's picture, buttons, marks and texts
  // The Program and Verify buttons of EPROM 0..3; empty slots hold nullptr.
  HWND hProgButton[MAX_EPROMS] = {};
  HWND hVerifyButton[MAX_EPROMS] = {};
  // The font of every text in the client area; filled when the window is made.
  LOGFONT lf;
};

// Resistor colour-code palette: black, brown, red, orange, yellow, green,
// blue, violet, grey, white.
constexpr int COLOR_COUNT = 10;
extern const COLORREF color_table[COLOR_COUNT];

// Control ids of the per-EPROM buttons: base + EPROM index.
constexpr int ID_PROGRAM_BUTTON = 210;
constexpr int ID_VERIFY_BUTTON = 220;

// The sound panels fill the top third of the client area, `SCOPE_TOP` down
// to ScopeBottom(client height); clicks and drops test against these rows.
constexpr int SCOPE_TOP = 4;
inline int ScopeBottom(int clientHeight) { return clientHeight / 3 - 4; }

void InitLabelFont(DisplayLayout& layout);
// Sets hPosSound, hPosEPROM and the left and right edges of rScopeWindow
// for the client size of `hWnd` and the image's arrangement.
void ComputeEpromCoordinates(HWND hWnd, DisplayLayout& layout, const ImageModel& image);
// Destroys every Program/Verify button and makes one pair per EPROM.
void CreateButttons(HWND hWnd, DisplayLayout& layout, const ImageModel& image);
// Moves the existing pairs to the current layout; creates and destroys nothing.
void MoveButtons(HWND hWnd, DisplayLayout& layout, const ImageModel& image);
// Pixel row of sample code `k` in a panel whose zero line is `zeroline` and
// whose full scale reaches row `maxheight`.
double ScaleForDisplay(int k, int zeroline, int maxheight);
// Paints the whole client area of the main window: the image's sounds,
// EPROMs, marks and files, on `dc`.
void PaintMainWindow(Canvas& dc, HWND hWnd, DisplayLayout& layout, const ImageModel& image);
