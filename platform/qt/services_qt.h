// Common services on Qt.
//
// kv_install_qt_services puts Qt's message box and file dialog behind the
// platform services (platform/services.h), so that tests can replace them
// with recording services. The services that only windows use (colour,
// print and page-setup dialogs, opening a help page or URL) go through the
// table below, which tests replace the same way.
#pragma once

#include <QString>
#include <functional>

#include "platform/qt/color.h"
#include "platform/services.h"

class QPrinter;
class QWidget;
class QMimeData;

// File dialog flag: several files may be chosen. The answer is then the
// folder, a NUL, each name followed by a NUL, and a final NUL; a single
// choice is a plain path.
enum : unsigned { KV_FD_MULTISELECT = 0x200 };

// Converts a "Description|*.ext|...||" filter to Qt's "Description (*.ext);;..."
// form; the description's own "(*.ext)" is not repeated.
QString kv_qt_filter(const char* filter);

void kv_install_qt_services();

struct kv_qt_services {
  // 1 chosen: color holds the choice and custom[16] the dialog's custom
  // colours; 0 cancelled (nothing changed).
  std::function<int(QWidget* parent, COLORREF* color, COLORREF custom[16])> choose_color;
  // 1 OK (the printer holds the choices), 0 cancelled.
  std::function<int(QWidget* parent, QPrinter* printer)> print_dialog;
  std::function<int(QWidget* parent, QPrinter* printer)> page_setup;
  // 1 when the page or URL was handed on.
  std::function<int(const QString& url)> open_url;
};
// Installs a table; empty members keep the Qt defaults. Returns the
// previous table.
kv_qt_services kv_qt_services_install(const kv_qt_services& s);

int kv_choose_color(QWidget* parent, COLORREF* color, COLORREF custom[16]);
int kv_print_dialog(QWidget* parent, QPrinter* printer);
int kv_page_setup_dialog(QWidget* parent, QPrinter* printer);
int kv_open_url(const QString& url);
// A local file as a URL for kv_open_url.
int kv_open_help_file(const QString& path);

// Help by id: the application installs the function that shows the page of
// a help id (a dialog's resource number); dialogs and sheets call it.
void kv_set_help_handler(std::function<void(unsigned help_id)> fn);
void kv_win_help(unsigned help_id);

// Drag and drop of text. The source kind tells the drop target where the
// drag came from (the program's own symbol-list drag is kind 3); it is 0
// outside a drag.
int kv_start_text_drag(QWidget* source, const QString& text, int source_kind);
int kv_drag_source_kind();
// The data of such a drag: the text and the source kind, which travels with
// it so that the drop target reads it from the data it receives.
QMimeData* kv_text_drag_data(const QString& text, int source_kind);
// The source kind of dropped data (0 for drags from other programs).
int kv_dropped_source_kind(const QMimeData* data);
// The text of dropped data, empty when it carries none.
QString kv_dropped_text(const QMimeData* data);

// The wait cursor while a long step runs; nests.
void kv_begin_wait_cursor();
void kv_end_wait_cursor();
