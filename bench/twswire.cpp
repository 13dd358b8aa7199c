// Decoding the broker socket's input: a recorded stream of 1,000,000 tick
// messages (prices and sizes, as TWS sends them while quotes flow) is sent
// over a loopback TCP connection and read message by message through the
// dispatcher, each field converted as the tick handlers do.  The baseline
// receives the same bytes over the same kind of connection and only finds
// the field ends, so the ratio of the two is the cost of the decoding
// itself.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/twsbench.h"
#include "broker/twsconn.h"
#include "broker/twsdispatch.h"
#include "broker/twswire.h"

namespace {

constexpr int kMessages = 1000000;

// The recorded stream: tick price (1) and tick size (2) messages of
// version 6 for 40 tickers, two prices to each size.
const std::string &recorded_stream() {
  static std::string s = [] {
    std::string all;
    char buf[160];
    for (int i = 0; i < kMessages; i++) {
      int ticker = 1 + i % 40;
      int n;
      if (i % 3 == 2)
        n = snprintf(buf, sizeof buf, "2%c6%c%d%c%d%c%d%c", 0, 0, ticker, 0, 5, 0, 100 + i % 900,
                     0);
      else
        n = snprintf(buf, sizeof buf, "1%c6%c%d%c%d%c%.2f%c%d%c%d%c", 0, 0, ticker, 0, 1 + i % 2, 0,
                     100.0 + (i % 500) * 0.01, 0, 100 + i % 700, 0, 1, 0);
      all.append(buf, (size_t)n);
    }
    return all;
  }();
  return s;
}

// What the tick handlers read, kept so that no conversion is dropped.
double g_sum;
int g_ticks;

void tick_price(int) {
  int version = tws_read_int();
  int ticker = tws_read_int();
  int type = tws_read_int();
  double price = tws_read_double();
  int size = version >= 2 ? tws_read_int() : 0;
  if (version >= 3) tws_read_int();
  g_sum += price + ticker + type + size;
  g_ticks++;
}

void tick_size(int) {
  tws_read_int();
  int ticker = tws_read_int();
  int type = tws_read_int();
  int size = tws_read_int();
  g_sum += ticker + type + size;
  g_ticks++;
}

void BM_DecodeTickStream(benchmark::State &state) {
  const std::string &bytes = recorded_stream();
  g_tws_msg_handlers[1] = tick_price;
  g_tws_msg_handlers[2] = tick_size;
  for (auto _ : state) {
    tws_bench_link link;
    link.attach(45);
    g_ticks = 0;
    link.start_sending(bytes);
    while (g_ticks < kMessages)
      if (!tws_process_message()) tws_wait_input(20);
    link.detach();
    benchmark::DoNotOptimize(g_sum);
  }
  g_tws_msg_handlers[1] = g_tws_msg_handlers[2] = nullptr;
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_DecodeTickStream)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same bytes over the same kind of connection, counting the
// field ends only.
void BM_ReceiveStreamBaseline(benchmark::State &state) {
  const std::string &bytes = recorded_stream();
  for (auto _ : state) {
    tws_bench_link link;
    link.start_sending(bytes);
    int64_t fields = link.receive_fields(bytes.size());
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_ReceiveStreamBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
