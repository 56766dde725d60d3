// Start-up, what the main window tells the program, and shutdown.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

class CoreSession;

// Runs the program in `session` on the installed platform: one instance
// only, the main window, `files` (the command line's, with their folders)
// loaded as files dropped beside the sound panels are, its message loop.
// Returns the exit code.
int TalverineMain(CoreSession& session, HINSTANCE instance, const std::vector<std::string>& files = {});

// The program's side of its main window: the one door from a back end into
// the core. It works on the session that runs (CoreSession::Current()).
WindowEvents& MainWindowEvents();

// Frees the buffers and gives up the single-instance lock.
void ShutDown(CoreSession& session);

// The help folder for a start-up directory: its "help" folder, or the
// installed copy when it has none holding the start page.
std::string ResolveHelpPath(const std::string& startDirectory);

// The status bar's part edges for a client area `width` pixels wide.
void StatusPartEdges(int width, int edges[3]);
