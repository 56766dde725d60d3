// The calls the web back end makes into the page script (talverine-page.js),
// which keeps every element and the browser's objects. Strings are UTF-8;
// a char* returned is the caller's to free.
#pragma once

#include <cstdint>

extern "C" {
// The main window, its controls and its painting.
void web_create_main(const char* caption, const char* menuJson);
void web_destroy_main();
int web_client_width();
int web_client_height();
void web_create_button(int handle, const char* label, int id, int x, int y, int w, int h);
void web_create_status(int handle);
void web_status_parts(int handle, const int* rightEdges, int count);
void web_status_text(int handle, int part, const char* text);
void web_create_progress(int handle, int x, int y, int w, int h);
void web_progress_set(int handle, int position, int range);
void web_move_element(int handle, int x, int y, int w, int h);
void web_destroy_element(int handle);
void web_paint_begin(int erase);
void web_paint_end();
void web_canvas_pen(int width, int colour);
void web_canvas_line(int x0, int y0, int x1, int y1);
void web_canvas_bitmap(int id, int x, int y, int w, int h);
void web_canvas_font(int height, int weight, int italic, int pitchAndFamily, const char* face);
void web_canvas_align(int align);
void web_canvas_text(int x, int y, const char* text);

// Modal page dialogs; their answers come back as events.
void web_message_box(const char* text, const char* caption, int type);
void web_message_box_close();
void web_dialog_show(int handle, const char* templateJson, const char* stateJson);
void web_dialog_update(int handle, const char* stateJson);
void web_dialog_close(int handle);
void web_choose_file(int save, const char* filtersJson, int filterIndex, const char* suggested);

// Waits, letting the browser run, until the page has queued an event or
// `timeoutMs` have passed (wait_library.js).
void web_wait_event(int timeoutMs);
// The next queued event: its text (null when there is none) and, in ints,
// its kind, four numbers and the count of its bytes, which
// web_take_event_bytes then copies.
char* web_take_event(int* ints);
void web_take_event_bytes(uint8_t* out);

// The simulated Kilnbox's panel: its buttons and type list (JSON), then
// what it shows, refreshed as it changes.
void web_sim_panel(const char* setupJson);
void web_sim_show(const char* display, const char* socket, int eprom);

// The program has ended (File > Exit): the page says so.
void web_program_ended();

// The browser around the page.
int web_open_address(const char* address);
int web_play_sound(const uint8_t* wav, int size);
int web_store_config(const char* name, const uint8_t* data, int size);
void web_download(const char* name, const uint8_t* data, int size);

// Web MIDI, as the page's MIDIAccess lists the ports.
int web_midi_input_count();
int web_midi_output_count();
char* web_midi_input_name(int index);
char* web_midi_output_name(int index);
int web_midi_open_input(int index);
void web_midi_close_input(int index);
int web_midi_open_output(int index);
void web_midi_close_output(int index);
int web_midi_send(int index, const uint8_t* data, int size);
}
