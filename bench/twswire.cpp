// Decoding the broker socket's input: a recorded stream of 1,000,000 tick
// messages (prices and sizes, as TWS sends them while quotes flow) is sent
// through a socket pair and read message by message through the dispatcher,
// each field converted as the tick handlers do.  The baseline receives the
// same bytes through the same socket pair and only finds the field ends, so
// the ratio of the two is the cost of the decoding itself.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

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

struct socket_pair {
  int fd[2] = {-1, -1};
  std::thread writer;
  socket_pair() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0) abort();
  }
  // Sends the stream from the far end while the reader reads.
  void start_sending(const std::string &bytes) {
    writer = std::thread([this, &bytes] {
      size_t off = 0;
      while (off < bytes.size()) {
        ssize_t n = send(fd[1], bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += (size_t)n;
      }
    });
  }
  ~socket_pair() {
    if (writer.joinable()) writer.join();
    close(fd[0]);
    close(fd[1]);
  }
};

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
    socket_pair pair;
    g_tws_socket = pair.fd[0];
    g_tws_peer_error = -1;
    tws_wire_reset();
    g_tws_connected = 1;
    g_ticks = 0;
    pair.start_sending(bytes);
    while (g_ticks < kMessages)
      if (!tws_process_message()) tws_wait_input(20);
    g_tws_connected = 0;
    g_tws_socket = -1;
    benchmark::DoNotOptimize(g_sum);
  }
  g_tws_msg_handlers[1] = g_tws_msg_handlers[2] = nullptr;
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_DecodeTickStream)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same bytes through the same socket pair, counting the
// field ends only.
void BM_ReceiveStreamBaseline(benchmark::State &state) {
  const std::string &bytes = recorded_stream();
  static char buf[TWS_INPUT_BUF_SIZE];
  for (auto _ : state) {
    socket_pair pair;
    pair.start_sending(bytes);
    size_t got = 0;
    int64_t fields = 0;
    while (got < bytes.size()) {
      ssize_t n = recv(pair.fd[0], buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0) {
        pollfd p = {pair.fd[0], POLLIN, 0};
        poll(&p, 1, 20);
        continue;
      }
      if (n == 0) break;
      for (const char *c = buf, *end = buf + n; (c = (const char *)memchr(c, 0, (size_t)(end - c)));
           c++)
        fields++;
      got += (size_t)n;
    }
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_ReceiveStreamBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
