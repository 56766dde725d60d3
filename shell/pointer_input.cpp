#include "shell/pointer_input.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "files/file_load.h"
#include "shell/app_state.h"
#include "shell/core_session.h"
#include "shell/file_outcome.h"
#include "shell/playback.h"

namespace {

// The band of the sound panels: strictly between their frame rows.
bool InPanelBand(long y, long height) { return 4 < y && y < height / 3 - 4; }

bool HoldsSound(const BYTE* wav) { return wav && std::memcmp(wav, "RIFF", 4) == 0; }

// The sections files are dropped on: the two sounds of one EPROM with two
// sounds, else the EPROMs.
UINT DropSections(const ImageModel& image) {
  return image.EPROM_Arrangement == eaOneEpromTwoSounds ? 2 : image.nEPROMs();
}

// The section a drop at `at` starts with; 0 outside the panel band.
BYTE DropSection(const DroppedFiles& drop, HWND hWnd, UINT sections) {
  const RECT client = plat::GetClientRect(hWnd);
  const long width = client.right - client.left;
  const long height = client.bottom - client.top;
  const POINT at = drop.point;
  if (!drop.inClient || sections < 1 || sections > 4 || width <= 1) return 0;
  if (at.x < 0 || at.x > width || !InPanelBand(at.y, height)) return 0;
  const long columnWidth = width / static_cast<long>(sections);
  // Too narrow a window to tell the sections apart: the first one.
  if (columnWidth == 0) return 0;
  return static_cast<BYTE>(at.x / columnWidth);
}

}  // namespace

void OnLeftButtonDown(CoreSession& session, HWND hWnd, POINT at, WPARAM keys) {
  if (keys != MK_LBUTTON) return;
  const RECT client = plat::GetClientRect(hWnd);
  const long width = client.right - client.left;
  const long height = client.bottom - client.top;
  const long x = at.x;
  const long y = at.y;
  if (!InPanelBand(y, height)) return;
  int which = 0;
  // With two sounds the right half plays the second; the last column of an
  // odd width belongs to it too, and a window too narrow to halve plays the
  // first.
  if (session.image.EPROM_Arrangement == eaOneEpromTwoSounds && width > 1) which = x / (width / 2) >= 1 ? 1 : 0;
  const BYTE* wav = session.app.wavbuffer[which].get();
  if (!HoldsSound(wav)) return;
  plat::PlaySoundMemory(wav, SND_ASYNC | SND_NODEFAULT | SND_MEMORY);
}

void LoadIntoSections(CoreSession& session, const std::vector<std::string>& names, BYTE first,
                      const std::function<void(const FileReport&)>& apply) {
  ImageModel& image = session.image;
  const bool twoSounds = image.EPROM_Arrangement == eaOneEpromTwoSounds;
  const UINT sections = DropSections(image);
  const UINT soundBytes = image.DataSize();
  const UINT epromBytes = image.EpromBytes();
  BYTE fNum = first;
  for (UINT k = 0; k < names.size() && fNum < sections; ++k, ++fNum) {
    const char* name = names[k].c_str();
    if (twoSounds) {
      apply(tvOpenFileName(image, session.fileSettings, name, fNum, static_cast<int>(soundBytes),
                           static_cast<int>(soundBytes)));
    } else {
      const int room = static_cast<int>(soundBytes) - static_cast<int>(fNum * epromBytes);
      apply(tvOpenFileName(image, session.fileSettings, name, fNum, static_cast<int>(epromBytes), room));
    }
  }
  ComputeWAVfromBuffer(session);
  image.ClearEpromFlags();
}

void OnDropFiles(CoreSession& session, HWND hWnd, const DroppedFiles& dropped) {
  LoadIntoSections(session, dropped.names, DropSection(dropped, hWnd, DropSections(session.image)),
                   [&session](const FileReport& report) { ApplyFileReport(session, report); });
  plat::InvalidateRect(hWnd, true);
}
