// Page layouts on the window side: which pages file is current, reading it
// and reopening its windows, and writing the open windows into it.  The
// file format and the descriptor list are in shell/core/pagefile.h.
#pragma once

#include <string>

#include "shell/core/pagefile.h"

class CPageManager {
 public:
  // The current pages file (the setting Pages).
  const char* PagesPath() const;

  // Reads a layout (the named file put into CONFIG, or the current one) and
  // reopens its windows; 0 when it could not be read (no window changed).
  int OpenPage(const char* name);
  // Saves the order definitions and the quote dump; with close_windows
  // also closes every window and drops the descriptors and import list.
  void ClosePage(int close_windows);
  int ReadPagesFile();
  // Writes the descriptor list into the current file and empties it.
  int WritePagesFile(int free_studies);
  // Makes CONFIG/<file name of path> current (a bare name is taken as
  // given) and reads it or writes the list into it; on failure the previous
  // file stays current (and, for a read, its descriptors are read again).
  int SetPagesFileName(const char* path, int write);

  void AppendDescriptor(WindowDescriptor* d) { page_list_append(&m_list, d); }
  WindowDescriptor* UnlinkDescriptor(WindowDescriptor* d) { return page_list_unlink(&m_list, d); }
  void FreeDescriptors() { page_list_free(&m_list); }
  const page_list& Descriptors() const { return m_list; }

 private:
  page_list m_list;
};

extern CPageManager g_page_manager;

// Posts a status line (format with one text) to the main window: status
// bar pane 0 with the bar shown, and a line of the status messages.
void post_page_status(const char* format, const char* arg);

// Sets the shell hooks of page layouts and the chart store that are still
// empty (start-up and exit steps of the application).
void install_page_hooks();
