#include "tests/conformance/conformance_fixture.h"

#include <algorithm>

namespace conformance {
namespace {

Recorder* g_recorder = nullptr;

LRESULT RecordingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Recorder& r = *g_recorder;
  r.log.push_back({msg, wParam, lParam});
  if (msg == WM_CREATE) r.clientAtCreate = plat::GetClientRect(hWnd);
  if (msg == WM_DROPFILES && r.onDrop) r.onDrop(reinterpret_cast<HDROP>(wParam));
  if (msg == WM_PAINT) {
    ++r.paints;
    if (Canvas* dc = plat::BeginPaint(hWnd)) plat::EndPaint(hWnd, dc);
  }
  return 0;
}

}  // namespace

void BackEnd::SetUp() {
  driver_ = GetParam().makeDriver();
  g_recorder = &recorder_;
  previous_ = plat::Install(driver_->Parts());
  window_ = plat::CreateMainWindow("TALVERINE", "Caption", RecordingProc);
  ASSERT_NE(window_, nullptr);
  driver_->SetClientSize(600, 480);
}

void BackEnd::TearDown() {
  plat::Install(previous_);
  driver_.reset();
  g_recorder = nullptr;
}

int BackEnd::Count(UINT msg) const {
  return static_cast<int>(
      std::count_if(recorder_.log.begin(), recorder_.log.end(), [msg](const Received& m) { return m.msg == msg; }));
}

std::vector<UINT> BackEnd::Messages(std::initializer_list<UINT> only) const {
  std::vector<UINT> out;
  for (const Received& m : recorder_.log)
    if (std::find(only.begin(), only.end(), m.msg) != only.end()) out.push_back(m.msg);
  return out;
}

}  // namespace conformance
