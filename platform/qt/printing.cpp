#include "platform/qt/printing.h"

void kv_printer_to_pdf(QPrinter& printer, const QString& path, bool grey) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setColorMode(grey ? QPrinter::GrayScale : QPrinter::Color);
}

KvRect kv_printable_rect(QPrinter& printer) {
  QRect r = printer.pageLayout().paintRectPixels(printer.resolution());
  return KvRect(0, 0, r.width(), r.height());
}

bool kv_print_pages(QPrinter& printer, int pages,
                    const std::function<void(KvDC&, const KvRect&, int)>& draw) {
  KvDC dc(static_cast<QPaintDevice*>(&printer));
  if (!dc.painter().isActive()) return false;
  dc.SetDeviceColors(printer.colorMode() == QPrinter::GrayScale ? 2 : 0x1000000);
  KvRect page = kv_printable_rect(printer);
  for (int p = 1; p <= pages; p++) {
    if (p > 1) printer.newPage();
    draw(dc, page, p);
  }
  return true;
}
