// The views of the market list windows by window kind, for the shell's
// templates.
#pragma once

class KvView;

// A new view of the kind, or null when the kind has no market view here.
KvView* kv_new_market_view(int kind);
