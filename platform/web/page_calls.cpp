// Each call hands over to the page script's host object (Module.host).
#include "platform/web/page_calls.h"

#include <emscripten.h>

EM_JS(void, web_create_main, (const char* caption, const char* menuJson), { return Module.host.create_main(UTF8ToString(caption), UTF8ToString(menuJson)); });
EM_JS(void, web_destroy_main, (), { return Module.host.destroy_main(); });
EM_JS(int, web_client_width, (), { return Module.host.client_width(); });
EM_JS(int, web_client_height, (), { return Module.host.client_height(); });
EM_JS(void, web_create_button, (int handle, const char* label, int id, int x, int y, int w, int h), { return Module.host.create_button(handle, UTF8ToString(label), id, x, y, w, h); });
EM_JS(void, web_create_status, (int handle), { return Module.host.create_status(handle); });
EM_JS(void, web_status_parts, (int handle, const int* rightEdges, int count), { return Module.host.status_parts(handle, rightEdges, count); });
EM_JS(void, web_status_text, (int handle, int part, const char* text), { return Module.host.status_text(handle, part, UTF8ToString(text)); });
EM_JS(void, web_create_progress, (int handle, int x, int y, int w, int h), { return Module.host.create_progress(handle, x, y, w, h); });
EM_JS(void, web_progress_set, (int handle, int position, int range), { return Module.host.progress_set(handle, position, range); });
EM_JS(void, web_move_element, (int handle, int x, int y, int w, int h), { return Module.host.move_element(handle, x, y, w, h); });
EM_JS(void, web_destroy_element, (int handle), { return Module.host.destroy_element(handle); });
EM_JS(void, web_paint_begin, (int erase), { return Module.host.paint_begin(erase); });
EM_JS(void, web_paint_end, (), { return Module.host.paint_end(); });
EM_JS(void, web_canvas_pen, (int width, int colour), { return Module.host.canvas_pen(width, colour); });
EM_JS(void, web_canvas_line, (int x0, int y0, int x1, int y1), { return Module.host.canvas_line(x0, y0, x1, y1); });
EM_JS(void, web_canvas_bitmap, (int id, int x, int y, int w, int h), { return Module.host.canvas_bitmap(id, x, y, w, h); });
EM_JS(void, web_canvas_font, (int height, int weight, int italic, int pitchAndFamily, const char* face), { return Module.host.canvas_font(height, weight, italic, pitchAndFamily, UTF8ToString(face)); });
EM_JS(void, web_canvas_align, (int align), { return Module.host.canvas_align(align); });
EM_JS(void, web_canvas_text, (int x, int y, const char* text), { return Module.host.canvas_text(x, y, UTF8ToString(text)); });
EM_JS(void, web_message_box, (const char* text, const char* caption, int type), { return Module.host.message_box(UTF8ToString(text), UTF8ToString(caption), type); });
EM_JS(void, web_message_box_close, (), { return Module.host.message_box_close(); });
EM_JS(void, web_dialog_show, (int handle, const char* templateJson, const char* stateJson), { return Module.host.dialog_show(handle, UTF8ToString(templateJson), UTF8ToString(stateJson)); });
EM_JS(void, web_dialog_update, (int handle, const char* stateJson), { return Module.host.dialog_update(handle, UTF8ToString(stateJson)); });
EM_JS(void, web_dialog_close, (int handle), { return Module.host.dialog_close(handle); });
EM_JS(void, web_choose_file, (int save, const char* filtersJson, int filterIndex, const char* suggested), { return Module.host.choose_file(save, UTF8ToString(filtersJson), filterIndex, UTF8ToString(suggested)); });
EM_JS(char*, web_take_event, (int* ints), { var s = Module.host.take_event(ints); return s === null ? 0 : allocateUTF8(s); });
EM_JS(void, web_take_event_bytes, (uint8_t* out), { return Module.host.take_event_bytes(out); });
EM_JS(void, web_sim_panel, (const char* setupJson), { return Module.host.sim_panel(UTF8ToString(setupJson)); });
EM_JS(void, web_sim_show, (const char* display, const char* socket, int eprom), { return Module.host.sim_show(UTF8ToString(display), UTF8ToString(socket), eprom); });
EM_JS(void, web_program_ended, (), { return Module.host.program_ended(); });
EM_JS(int, web_open_address, (const char* address), { return Module.host.open_address(UTF8ToString(address)); });
EM_JS(int, web_play_sound, (const uint8_t* wav, int size), { return Module.host.play_sound(wav, size); });
EM_JS(int, web_store_config, (const char* name, const uint8_t* data, int size), { return Module.host.store_config(UTF8ToString(name), data, size); });
EM_JS(void, web_download, (const char* name, const uint8_t* data, int size), { return Module.host.download(UTF8ToString(name), data, size); });
EM_JS(int, web_midi_input_count, (), { return Module.host.midi_input_count(); });
EM_JS(int, web_midi_output_count, (), { return Module.host.midi_output_count(); });
EM_JS(char*, web_midi_input_name, (int index), { return allocateUTF8(Module.host.midi_input_name(index)); });
EM_JS(char*, web_midi_output_name, (int index), { return allocateUTF8(Module.host.midi_output_name(index)); });
EM_JS(int, web_midi_open_input, (int index), { return Module.host.midi_open_input(index); });
EM_JS(void, web_midi_close_input, (int index), { return Module.host.midi_close_input(index); });
EM_JS(int, web_midi_open_output, (int index), { return Module.host.midi_open_output(index); });
EM_JS(void, web_midi_close_output, (int index), { return Module.host.midi_close_output(index); });
EM_JS(int, web_midi_send, (int index, const uint8_t* data, int size), { return Module.host.midi_send(index, data, size); });
