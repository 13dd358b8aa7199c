// Printing through QPrinter: in colour, or in grey scale (the drawing code
// then sees a two-colour device and picks its print colours).
#pragma once

#include <QPrinter>
#include <QString>
#include <functional>

#include "platform/qt/dc.h"

// A printer that writes a PDF file (tests and "print to file").
void kv_printer_to_pdf(QPrinter& printer, const QString& path, bool grey);
// The printable rectangle of a page in device pixels.
KvRect kv_printable_rect(QPrinter& printer);
// Prints pages: draw(dc, page rectangle, page number from 1) for each page.
// Returns false when the printer could not start.
bool kv_print_pages(QPrinter& printer, int pages,
                    const std::function<void(KvDC&, const KvRect&, int)>& draw);
