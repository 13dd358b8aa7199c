// The QuoteTracker portfolio link: a quote program on the same computer
// serves HTTP requests; a symbol is added to its "Korvane" portfolio before
// the web-page source first asks for it and removed when its record goes.
// Every reply's first line must contain "OK". After three failed
// connections the link is not used any more.
#pragma once

struct mqt;

enum { QT_MAX_ERRORS = 3 };

// Address of the quote program; tests point it at their loopback server.
extern char g_qt_address[64];
extern char g_qt_port_id[16];
extern char g_qt_first_symbol[32];
extern int g_qt_errors;

// 1 found (g_qt_port_id set), 0 not.
int get_PortID(const char* name);
// 1 the symbol is in the portfolio (already or added), 0 not.
int add_symbol_to_stream(const char* symbol);
void remove_symbol_from_stream(const char* symbol);
// Preparing and releasing a record for the source's init or de-init code
// (0 nothing, 1 QuoteTracker).
void source_init(mqt* record, int code);
void source_deinit(mqt* record, int code);
// Sets the quote hooks that call source_init and source_deinit with the
// live-quote source's configured codes.
void install_qt_hooks(void);
