// The console side of talverine-cli on Windows. Neutral header: no
// <windows.h>, no seam types.
#pragma once

namespace cli::win32 {

bool StdinIsConsole();
// Turns on the console's handling of "\r\033[K"; false when stderr is no
// console or the console can't.
bool StderrTakesEscapes();
// As cli::ReadTerminalByte.
int ReadConsoleByte(unsigned waitMs, int noInputYet, int endOfInput);

}  // namespace cli::win32
