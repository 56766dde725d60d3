// The program's names: the window class, single-instance and configuration
// header name, the configuration file's name and the main window's caption.
#pragma once

inline constexpr char szAppName[] = "TALVERINE";
inline constexpr char szCfgName[] = "TALVERINE.CFG";
inline constexpr char szAppCaption[] = "Kilnbox EPROM Utility";
