// Screens finer than 96 dpi. The program lays out and draws in pixels of a
// 96-dpi screen; the windows declare themselves aware of each monitor's
// scale (the manifest) and scale every size here, so that they stay sharp
// instead of being stretched by Windows. The calls that know a monitor's
// scale came with Windows 10; before it the whole desktop has one.
#pragma once

#include <windows.h>

namespace w32 {

// Dots per inch of the monitor `window` is on.
UINT WindowDpi(HWND window);
// Of the desktop: what windows not yet placed start with.
UINT SystemDpi();

// 96-dpi pixels to the screen's, and back.
inline int ToScreen(int v, UINT dpi) { return MulDiv(v, static_cast<int>(dpi), 96); }
inline int FromScreen(int v, UINT dpi) { return MulDiv(v, 96, static_cast<int>(dpi)); }

// The font of message boxes at `dpi`; the caller deletes it. Null when the
// system gives none.
HFONT CreateMessageFont(UINT dpi);
// A font described at the desktop's scale, made for `dpi`; the caller
// deletes it.
HFONT CreateFontForDpi(LOGFONTW font, UINT dpi);
// AdjustWindowRectEx for a window at `dpi`.
void AdjustWindowRectForDpi(RECT* rect, DWORD style, bool menu, DWORD exStyle, UINT dpi);

}  // namespace w32
