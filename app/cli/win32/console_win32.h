// The console side of talverine-cli on Windows. Neutral header: no
// <windows.h>, no seam types.
#pragma once

#include <cstdio>
#include <string>

namespace cli::win32 {

// Writes UTF-8 `text` to `stream` (stdout or stderr): as characters when it
// is a console, whatever its code page; as the bytes themselves when it is
// redirected to a file or a pipe.
void Write(FILE* stream, const std::string& text);

// The first Ctrl+C or Ctrl+Break only sets CtrlCPressed(); a second one
// takes the system's course and ends the program.
void CatchCtrlC();
bool CtrlCPressed();

bool StdinIsConsole();
// Turns on the console's handling of "\r\033[K"; false when stderr is no
// console or the console can't.
bool StderrTakesEscapes();
// As cli::ReadTerminalByte. A console hands over a whole line once it is
// ended with Enter; its bytes come one by one from the next calls.
int ReadConsoleByte(unsigned waitMs, int noInputYet, int endOfInput);

}  // namespace cli::win32
