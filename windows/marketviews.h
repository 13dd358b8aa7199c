// The views of the market list windows by window kind, for the shell's
// templates.
#pragma once

class KvView;

// A new view of the kind, or null when the kind has no market view here.
KvView* kv_new_market_view(int kind);
// Fits a new market window's frame to its list (quotes, time and sales);
// nothing for other views.
void kv_size_market_frame(KvView* view);
