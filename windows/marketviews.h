// The views and frames of the market list windows by window kind, for the
// shell's templates.
#pragma once

#include "platform/qt/frames.h"

class KvView;

// The frames of the level 2 and market pulse windows: a splitter of 2 x 2
// panes (each at least 10 x 10 pixels), each pane another view of the
// window's document.
class CKvLev2Frame : public KvSplitterFrame {
 public:
  CKvLev2Frame() : KvSplitterFrame(2, 2, QSize(10, 10)) {}
};

class CKvMktPulseFrame : public KvSplitterFrame {
 public:
  CKvMktPulseFrame() : KvSplitterFrame(2, 2, QSize(10, 10)) {}
};

// A new view of the kind, or null when the kind has no market view here.
KvView* kv_new_market_view(int kind);
// The frame of the kind's windows, or null for the common child frame.
KvChildFrame* kv_new_market_frame(int kind);
// Fits a new market window's frame to its list (quotes, time and sales);
// nothing for other views.
void kv_size_market_frame(KvView* view);
