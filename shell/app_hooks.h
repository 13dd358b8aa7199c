// Calls from the application shell into modules that are built separately:
// the quote threads and their shut-down, the open-orders file, the chart
// store, page layouts, the events list, the symbol-list toolbar, study
// libraries and help.  Each module sets its entries when it is linked in;
// an entry left null means that module is not there and the step is
// skipped (start-up and shut-down go on without it).
#pragma once

struct shell_hooks {
  // Quote threads: started once the main window exists; program_exit
  // posts WM_PROGRAM_EXIT to the quote threads and starts the thread that
  // joins every worker and then posts WM_THREAD_IS_DEAD to hmainwnd.
  void (*start_quote_threads)(void);
  void (*program_exit)(void);
  // The open-orders file, written by the first close.
  void (*write_open_orders)(void);

  // Chart store: reset the default chart settings and load the chart
  // favourites (1 loaded, 0 refuse to start); at exit write back changed
  // favourites and the import list and free the favourites.
  int (*load_chart_store)(void);
  void (*save_chart_store)(void);
  // Rebuilds the favourites entries of the menus.
  void (*rebuild_favorites_menus)(void);

  // Page layouts: open the default page (every window of the previous
  // run); fill the descriptor list from the open windows (the frame's
  // close); close the page without closing windows; write the pages file
  // from the descriptor list and free it (exit).
  void (*open_default_page)(void);
  void (*save_all_modified)(void);
  void (*close_page)(void);
  void (*write_pages_file)(void);

  // Events list: read at start-up, freed at exit.
  void (*load_events)(void);
  void (*free_events)(void);
  // Symbol-list toolbar: select the saved list by name.
  void (*select_symbol_list)(const char *name);
  // Loaded study libraries, freed at exit.
  void (*free_study_libraries)(void);
  // The data modules' exit clean-up.
  void (*free_miscellaneous_memory)(void);
  // Ends the help conversation with the web browser.
  void (*close_help)(void);
};
extern shell_hooks g_shell_hooks;
