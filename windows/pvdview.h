// CKvPriceVolDistView: the price/volume distribution window. One symbol's
// traded volume of the session over price, as horizontal bars drawn by the
// pane container from a copy of the record's price-volume histogram, with
// an optional bid/ask bar, a popup reading the volume of a price row, the
// colour dialog and printing.
#pragma once

#include <QString>

#include "chart/basicchart.h"
#include "chart/pane.h"
#include "chartwin/chartdoc.h"
#include "platform/qt/canvas.h"

class QPrinter;

enum : unsigned {
  ID_PVD_BIDASK = 33252,
  ID_PVD_VOLUME = 32941,
  ID_PVD_COLOR = 32786,
};

class CKvPriceVolDistView : public KvCanvasView, public CKvWindowStateView {
 public:
  CKvPriceVolDistView();
  ~CKvPriceVolDistView() override;

  void OnInitialUpdate() override;
  void OnUpdate(KvView* sender, intptr_t hint) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  // Shows a symbol (the previous record is given back); 0 when no record
  // could be had.
  int SetSymbol(const QString& text);
  void UpdatePanes(int recalc, int resize, int invalidate, int update_now);
  // Prints black on white when the screen is black; the screen's colours
  // and candle sizes are left as they were.
  void OnPrint(KvDC& dc, const KvRect& printable, bool preview);
  bool PrintTo(QPrinter& printer);
  // The popup's first item for a point: "Volume <n>" on a row, else "Volume".
  QString VolumeText(int x, int y);

  mqt* Record() const { return m_record; }
  const pvd_record& Data() const { return m_data; }
  CPane& Panes() { return m_panes; }

 protected:
  void OnDraw(KvDC& dc) override;
  bool OnEraseBkgnd(KvDC& dc) override;
  void OnSize(int cx, int cy) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void map_commands();
  void copy_record();
  ChartSettings* settings() const;

  mqt* m_record = nullptr;
  QString m_symbol;
  pvd_record m_data = {};
  CPane m_panes;
  uint32_t m_view_flags = 0;  // bit 3 printing
  KvRect m_client;
};
