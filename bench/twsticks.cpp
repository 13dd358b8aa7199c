// TWS tick messages all the way into the live-quote records: a stream of
// price and size pairs, sent over a loopback TCP socket, is read message
// by message by the broker link's tick handlers into the quote ring, and
// the ring is drained through the relay's record handlers into
// save_mqt_data, all on one thread.  The baseline receives the same bytes
// over the same kind of socket and only finds the field ends; the ratio
// is the cost of decoding, building the records and storing the quotes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/twsbench.h"
#include "broker/twsconn.h"
#include "broker/twsdispatch.h"
#include "broker/twsin.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/router.h"
#include "quotes/spigot.h"

namespace {

constexpr int kTickers = 40;
constexpr int kPairs = 500000;  // a last price and its size: 1,000,000 messages

const std::string& recorded_stream() {
  static std::string s = [] {
    std::string all;
    char buf[160];
    for (int i = 0; i < kPairs; i++) {
      int ticker = 1 + i % kTickers;
      int n = snprintf(buf, sizeof buf, "1%c6%c%d%c4%c%.2f%c%d%c1%c", 0, 0, ticker, 0, 0,
                       100.0 + (i % 500) * 0.01, 0, 100, 0, 0);
      all.append(buf, (size_t)n);
      n = snprintf(buf, sizeof buf, "2%c6%c%d%c5%c%d%c", 0, 0, ticker, 0, 0, 100 + i % 900, 0);
      all.append(buf, (size_t)n);
    }
    return all;
  }();
  return s;
}

void make_records() {
  static bool made = false;
  if (made) return;
  made = true;
  install_tws_msg_handlers();
  alloc_quote_ring();
  kv_lock guard(g_chart_lock);
  for (int i = 1; i <= kTickers; i++) {
    char sym[16];
    snprintf(sym, sizeof sym, "SYM%d", i);
    mqt* r = create_multiquote_struct(sym);
    r->lot_size = 1;
    ticker_entry_init(i, sym);
    g_symbol_slots[i - 1] = r;
    r->symbol_slot = i;
  }
}

void BM_TicksIntoQuotes(benchmark::State& state) {
  const std::string& bytes = recorded_stream();
  make_records();
  static uint8_t batch[QUOTE_RING_SLOTS * QUOTE_RING_SLOT];
  int64_t stored = 0;
  for (auto _ : state) {
    tws_bench_link link;
    link.attach(45);
    uint32_t start = g_tws_msg_count;
    link.start_sending(bytes);
    while (g_tws_msg_count - start < 2u * kPairs) {
      int got = 0;
      for (int i = 0; i < 256 && tws_process_message(); i++) got++;
      int n = quote_ring_take(batch);
      if (n > 0) {
        kvqr_dispatch_records(batch, n);
        stored += n / QUOTE_RING_SLOT;
      }
      if (!got) tws_wait_input(20);
    }
    link.detach();
  }
  state.counters["records"] = (double)stored / (double)state.iterations();
  state.SetItemsProcessed(state.iterations() * 2 * kPairs);
}
BENCHMARK(BM_TicksIntoQuotes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReceiveTicksBaseline(benchmark::State& state) {
  const std::string& bytes = recorded_stream();
  for (auto _ : state) {
    tws_bench_link link;
    link.start_sending(bytes);
    int64_t fields = link.receive_fields(bytes.size());
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations() * 2 * kPairs);
}
BENCHMARK(BM_ReceiveTicksBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
