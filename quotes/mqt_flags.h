// Bits of the live-quote record: its flag word, its feed_flags and the
// stream codes of its relay subscriptions (stream_code, streams_held).
#pragma once

#include <stdint.h>

// Record flags (mqt.flags).
enum : uint32_t {
  MQT_QT_PORTFOLIO = 0x1,             // added to the QuoteTracker portfolio
  MQT_FREE = 0x2,                     // free slot, reused by the next creation
  MQT_1MIN_INIT = 0x4,                // one-minute state initialised (set with 0x8)
  MQT_1MIN_WRITABLE = 0x8,            // one-minute bars may be written
  MQT_1MIN_CHANGED = 0x10,            // one-minute bars changed since the last write
  MQT_1MIN_FORCE_WRITE = 0x20,        // force the next one-minute write
  MQT_CHARTS_RECALC = 0x40,           // linked intraday charts recompute on the next quote
  MQT_EXT_CHANGED = 0x80,             // extension chain changed (.iext to be written)
  MQT_PLAYBACK = 0x100,               // playback or back-test record: no posts, no alerts
  MQT_NOT_STREAMABLE = 0x400,         // never subscribed with the relay
  MQT_DETAILS_RECEIVED = 0x800,       // contract details received from the relay
  MQT_QUOTE_STORED = 0x1000,          // a quote was stored
  MQT_TILDE = 0x2000,                 // symbol begins with "~"
  MQT_KEEP_IN_DUMP = 0x4000,          // kept in the dump file; its charts write every bar
  MQT_ACCOUNT = 0x8000,               // account record ("A~"): own description, no fetch
  MQT_INDEX_OR_ACCOUNT = 0x10000,     // index or account record
  MQT_MIDPOINT = 0x20000,             // midpoint record ("M~"): price = middle of bid/ask,
                                      //   history as MIDPOINT
  MQT_ONE_FUTURE = 0x40000,           // future of the exchange "ONE"
  MQT_CHART_LOAD_PENDING = 0x80000,   // a chart load for the symbol is queued
  MQT_MARKET_INDICATOR = 0x100000,    // market indicator ("AD-", "VOL-")
  MQT_SPREAD = 0x200000,              // spread record ("S~", "R~")
  MQT_RATIO_SPREAD = 0x400000,        // ratio spread ("R~")
  MQT_NEGATIVE_OK = 0x800000,         // market indicator ("AD-", "VOL-", "TICK"):
                                      //   negative prices allowed on the price axis
  MQT_GRAIN = 0x1000000,              // grain contract of "ECBOT"
  MQT_RECALC_COUNT_MASK = 0x6000000,  // two-bit countdown of forced chart recomputations
  MQT_RECALC_COUNT_ONE = 0x2000000,
};

// feed_flags: which fields the last incoming quote carried.  The low byte
// holds the source's record kind.
enum : uint32_t {
  FEED_KIND_MASK = 0xFF,
  FEED_SUMMARY = 0x400,  // belongs to the bar of its stored time
  FEED_DATE = 0x8000,
  FEED_TIME = 0x10000,
  FEED_OPEN = 0x20000,
  FEED_HIGH = 0x40000,
  FEED_LOW = 0x80000,
  FEED_CLOSE = 0x100000,   // a current or official closing price
  FEED_CHANGE = 0x200000,  // net change
  FEED_VOLUME = 0x400000,  // cumulative volume
  FEED_OPEN_INTEREST = 0x800000,
  FEED_BID = 0x1000000,
  FEED_BID_SIZE = 0x2000000,
  FEED_ASK = 0x4000000,
  FEED_ASK_SIZE = 0x8000000,
  FEED_LAST = 0x10000000,
  FEED_LAST_SIZE = 0x20000000,
  FEED_PREV_CLOSE = 0x40000000,
  FEED_TRADE_TIME = 0x80000000,
  // The record has a previous close: given directly or derived from a net
  // change.
  FEED_PREV_CLOSE_KNOWN = FEED_PREV_CLOSE | FEED_CHANGE,
};

// stream_code bits (a request to the relay's request thread); the low byte
// holds the stream kinds, also the bits of streams_held.
enum : uint32_t {
  STREAM_QUOTES = 0x1,
  STREAM_TRADES = 0x10,
  STREAM_ORDER_BOOK = 0x20,
  STREAM_LEVEL2 = 0x40,
  STREAM_KINDS = 0xFF,
  STREAM_ADD = 0x1000000,
  STREAM_DROP = 0x2000000,
  STREAM_ALL_RECORDS = 0x7C000000,  // any of these: posted without a record
  STREAM_END_REQUEST_ALL = 0x4000000,
  STREAM_COLLECTION_OFF = 0x10000000,
  STREAM_COLLECTION_ON = 0x20000000,
  STREAM_MARKET_CLOSED = 0x52000000,
  STREAM_EXIT = 0x40000000,
  STREAM_ACCOUNT_INFO = 0x15,       // end of the subscribe-missing pass
  STREAM_BROKER_ADD = 0x21000000,   // broker mode: any bit adds
  STREAM_BROKER_DROP = 0x52000000,  // broker mode: else any bit drops
};

enum {
  MQT_STREAMS_UNCHARTED = 0x11,  // stream set of a record without charts
  MQT_STREAMS_CHARTED = 0x11,    // stream set of a record with intraday charts
  MQT_STREAM_ADD = 0x1000000,
  MQT_STREAM_RELEASE = 0x20000ff,  // stream_code asking the relay to let a record go
};
