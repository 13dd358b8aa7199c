// Tick files "<root>/HDATA/<SYMBOL>.tsdata": little-endian 32-bit words
// that replay one symbol's quotes into its live-quote record.
//
// Records (bit 0 of the first word tells full from packed):
//   full, 3 words: word 0 bit 0 = 0, bit 1 bid, bit 2 ask (neither: trade),
//     bits 3-31 size; word 1 the time (epoch seconds); word 2 the price as a
//     32-bit float.
//   compact, 1 word: bit 0 = 1, bit 1 bid or bit 2 ask (not both), bits
//     3-15 size, bits 16-23 seconds since the previous record, bits 24-31
//     signed price step in ticks.
//   paired trades, 1 word: bits 0-2 all set; first trade bits 3-5 seconds,
//     6-8 signed ticks, 9-16 size; second trade (only when bits 24-31 are
//     not 0) bits 17-20 seconds, 21-23 signed ticks, 24-31 size.
//
// The files come from elsewhere and are not trusted: a full record cut
// short or with a price that is not a finite number ends the data there,
// and the whole records before it are kept.
#pragma once

#include <cstddef>
#include <cstdint>

struct mqt;

enum {
  TICK_BID = 2,
  TICK_ASK = 4,
  TICK_PAIRED = 6,
  TICK_FULL_WORDS = 3,
};

struct tick_state {
  uint32_t* words;         // malloc'ed
  int32_t count;           // words held
  int32_t index;           // next word
  int32_t second_pending;  // the paired word at index still has its second trade
  double tick_size;
  double tick_recip;
  float price;     // running price
  int32_t time;    // running epoch seconds
  int32_t notify;  // call bid_ask_hook on bid and ask records
  int32_t ticks;   // records decoded
  // Told of every bid or ask record while notify is set (chart views of
  // the symbol get WM_BID_ASK_UPDATE through it). Null: nobody is told.
  void (*bid_ask_hook)(mqt* record, float bid, float ask);
};

// Takes the words of a file's bytes; a trailing partial word or record and
// a non-finite full-record price end the data. Returns the number of words
// kept; *whole is 1 when every byte was used. tick_size must be a positive
// finite number (else 0 words). Frees data the state held before.
int32_t set_tick_words(tick_state* st, const uint8_t* bytes, size_t len, double tick_size,
                       int* whole);
// Reads the symbol's tick file. 1 loaded, 0 failed (reported at level 3:
// "Can't open tick file: ", "Can't malloc memory for tick data",
// "Error reading tick data").
int load_tick_file(const char* symbol, double tick_size, tick_state* st);
void free_tick_data(tick_state* st);

// Decodes records into the record's quote fields until a trade: 1 when a
// trade was decoded, 0 at the end of the data. Bid and ask records move
// bid and ask only and are counted; the orders hook is told of them.
int next_playback_tick(mqt* record, tick_state* st);

// Writers of the three forms (used to make tick files, and by tests).
// Sizes and steps outside a form's bits are cut to those bits.
void encode_full_tick(uint32_t out[3], int kind, uint32_t size, int32_t time, float price);
uint32_t encode_compact_tick(int kind, uint32_t size, int seconds, int steps);
uint32_t encode_paired_trades(int seconds1, int steps1, uint32_t size1, int seconds2, int steps2,
                              uint32_t size2);
// Bytes of words, little-endian (out holds 4 x n bytes).
void tick_words_to_bytes(const uint32_t* words, int n, uint8_t* out);
