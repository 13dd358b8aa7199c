// What the chart engine's line editor and alert overlay ask of the user's
// desktop outside a paint: a notice shown later (posted, so that no modal
// box ever runs inside a paint), and moving the mouse pointer by a few
// pixels (to sit on a snapped price). Tests replace the table and record
// the calls; the defaults post the notice to the event loop, where it
// shows as a message box, and move the real pointer.
#pragma once

struct chart_ui_services {
  // Shows text to the user after the current event has been handled.
  void (*post_notice)(const char* text);
  // Moves the mouse pointer vertically by dy pixels.
  void (*move_pointer)(int dy);
};

// Installs a table (members left null keep the defaults); returns the
// table that was installed before.
chart_ui_services chart_ui_install(const chart_ui_services& s);
void chart_post_notice(const char* text);
void chart_move_pointer(int dy);
