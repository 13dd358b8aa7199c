// Services that reach the user or the system and that tests replace:
// message box, file dialog, sound player, process launcher, computer
// name, setting the system clock.
//
// Callers use the kv_* functions below.  They go to the installed
// service table; without one the defaults apply: the message box writes
// to standard error and answers with its default button, the file dialog
// is cancelled, sounds are played by starting a player program (paplay,
// else aplay) with the file as argument, processes are started with
// posix_spawn (an argument list, never a shell), the computer name comes
// from gethostname, and the system clock is set with clock_settime only
// after kv_allow_set_system_clock(1).  The window layer installs the
// message box and file dialog on Qt; the test fixture installs recording
// services.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Message box styles (the button set in the low 4 bits, the icon in bits
// 4-7, the default button in bits 8-11) and answers, with Windows' values.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_TYPEMASK = 0xF,
  MB_ICONHAND = 0x10,
  MB_ICONERROR = 0x10,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40,
  MB_ICONMASK = 0xF0,
  MB_DEFBUTTON1 = 0x000,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
  MB_DEFMASK = 0xF00,
  MB_APPLMODAL = 0x0000,
  MB_SYSTEMMODAL = 0x1000,
  MB_TASKMODAL = 0x2000,
  MB_SETFOREGROUND = 0x10000,
  MB_TOPMOST = 0x40000,
};
enum : int {
  IDOK = 1,
  IDCANCEL = 2,
  IDABORT = 3,
  IDRETRY = 4,
  IDIGNORE = 5,
  IDYES = 6,
  IDNO = 7,
};

// The answer of the default button of a style (MB_YESNO|MB_DEFBUTTON2 ->
// IDNO).
int kv_message_box_default_answer(unsigned style);

// File dialog request.  filter is in the "Text Files (*.txt)|*.txt|All
// Files (*.*)|*.*||" form.
struct kv_file_dialog_request {
  int save;                  // 0 open, 1 save
  const char *title;         // null: the standard title
  const char *initial_dir;   // folder to start in, or null
  const char *initial_name;  // file name to propose, or null
  const char *default_ext;   // added to a typed name without one, or null
  const char *filter;        // or null
  unsigned flags;            // reserved, 0
};

struct kv_launch_options {
  const char *working_dir;  // null: the current folder
  int wait;                 // 1: wait for the end and return its exit code
  int detach;               // 1: no zombie is left (the child is reaped)
};

struct kv_services {
  void *ctx;
  int (*message_box)(void *ctx, const char *text, const char *caption, unsigned style);
  // 1 chosen (path in out), 0 cancelled.
  int (*file_dialog)(void *ctx, const kv_file_dialog_request *req, char *out, size_t size);
  // 1 started, 0 failed.  Playing does not block.
  int (*play_sound)(void *ctx, const char *path);
  // Process id (> 0) or, with wait, the exit code (>= 0); -1 on failure.
  long (*launch)(void *ctx, const char *program, const char *const *argv,
                 const kv_launch_options *opt);
  // 1 and the name.
  int (*computer_name)(void *ctx, char *buf, size_t size);
  // 1 set, 0 refused or failed.
  int (*set_system_clock)(void *ctx, int64_t utc_seconds);
};

// Installs a table (copied); members left null keep the defaults.
// Returns the table that was installed before.
kv_services kv_services_install(const kv_services *s);
// Back to the defaults.
void kv_services_reset(void);
// The default table (for services that pass some calls on).
const kv_services *kv_default_services(void);

int kv_message_box(const char *text, const char *caption, unsigned style);
int kv_file_dialog(const kv_file_dialog_request *req, char *out, size_t size);
int kv_play_sound(const char *path);
// argv is the argument list after the program, null-ended (may be null).
// program is looked up in PATH when it holds no "/".
long kv_launch(const char *program, const char *const *argv, const kv_launch_options *opt);
// "Unknown" when the name cannot be had.
void kv_computer_name(char *buf, size_t size);
int kv_set_system_clock(int64_t utc_seconds);

// The setting that allows the default service to set the system clock
// (off at start).
void kv_allow_set_system_clock(int allow);
