// A click on a sound panel plays it; files dropped on the panels load into
// the sections under the drop point.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "files/file_report.h"
#include "platform/platform.h"

class CoreSession;

void OnLeftButtonDown(CoreSession& session, HWND hWnd, POINT at, WPARAM keys);
void OnDropFiles(CoreSession& session, HWND hWnd, const DroppedFiles& dropped);
// Loads `names` into the sections from `first` on, a file each, as far as
// there are sections, handing each load's report to `apply` before the next
// load (a rate a header selected holds for the files after it); the
// playback images and the marks then follow the image.
void LoadIntoSections(CoreSession& session, const std::vector<std::string>& names, BYTE first,
                      const std::function<void(const FileReport&)>& apply);
