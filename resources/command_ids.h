// Command ids of the menu and of the per-EPROM buttons.
#pragma once

constexpr int IDM_EXIT = 101;
constexpr int IDM_LOAD_FILE = 102;
constexpr int IDM_SAVE_FILE = 103;
constexpr int IDM_MIDI_DEVICES = 104;
constexpr int IDM_GET_DATA = 105;
constexpr int IDM_READ_EPROM = 106;
constexpr int IDM_EPROM_TYPE = 107;
constexpr int IDM_CANCEL = 108;
constexpr int IDM_ABOUT = 109;
constexpr int IDM_FILE_FORMAT = 110;
constexpr int IDM_PROGRAM_EPROM = 111;
constexpr int IDM_VERIFY_EPROM = 112;
constexpr int IDM_SEND_DATA = 113;
constexpr int IDM_BLANK_CHECK = 115;
constexpr int IDM_CLEAR_MARKS = 117;
constexpr int IDM_HELP = 118;
constexpr int IDM_AUDIO_SETTINGS = 119;
constexpr int IDM_READ_SELECTED = 206;
constexpr int IDM_VERIFY_SELECTED = 207;
constexpr int IDM_PROGRAM_SELECTED = 208;
constexpr int IDM_START_PROGRAMMING = 209;
constexpr int IDB_PROGRAM_FIRST = 210;   // Program button of EPROM 1 .. 4: 210 .. 213
constexpr int IDB_VERIFY_FIRST = 220;    // Verify button of EPROM 1 .. 4: 220 .. 223

constexpr int IDM_FIRST = 101;
constexpr int IDM_LAST = 223;

// Child window ids.
constexpr int ID_STATUS_BAR = 123;
constexpr unsigned ID_TIMER = 200;
// The one-shot timer that ends a device operation's pause.
constexpr unsigned ID_PAUSE_TIMER = 201;
