// The three small lists that shape market-data requests, each read once
// from the CONFIG folder at its first use (a missing file is an empty
// list): "symbolmods.txt" (triples symbol, currency, exchange that replace
// the record's currency and exchange; "-" keeps the record's own),
// "allow.txt" (patterns requested even when the preferences suppress their
// kind) and "inhibit.txt" (patterns never requested).  Patterns use "*",
// "?" and bracketed sets, without regard to case.
#pragma once

struct mqt;

enum { SYMBOL_MODS_TOKENS = 259, SYMBOL_PATTERN_TOKENS = 256 };

// 1 when the record's symbol is in symbolmods.txt (its currency and
// exchange replaced, cut to the record's fields), else 0.
int apply_symbol_mods(mqt* record);
int symbol_allowed(const mqt* record);
int symbol_inhibited(const mqt* record);
// Forgets the lists; the next use reads the files again (tests).
void tws_lists_reset();
