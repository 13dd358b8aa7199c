// Quotes polled from web pages. The live-quote source's configuration
// carries a parse script (the text after "[MAIN]"): it builds a request
// for a batch of symbols, opens the page, cuts quote fields out of its
// lines into a scratch quote and stores each complete quote into the
// record of its symbol.
//
// One cycle runs on the quote thread. g_chart_lock is held while records
// are walked and quotes stored, never while a page is opened or read: the
// batch's records are held (one user each) for the time between.
// Every script error ends the cycle with the page closed and a message at
// level 15.
#pragma once

#include <cstdint>

struct mqt;

// One polling cycle. Returns the head of the record list, or null when
// polling is off or the cycle ended on an error.
mqt* poll_web_quotes(void);

// The expansion of a request template for the batch starting at record:
// escape "r" + delimiter opens a group repeated once per record (escape
// "s" its symbol, escape "n" its number), escape "t" drops the last
// character. Result codes as poll_web_quotes reports them (0 opened).
int build_quote_url(mqt* record, const char* url_template, int maxquotes);
// The URL the last build produced.
const char* web_quote_url(void);
