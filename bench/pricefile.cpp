// Price files of 1,000,000 one-minute bars: reading and verifying, merging
// fetched bars, and writing with kept days and session runs, each next to
// its baseline (the same bytes read with one read call, or written with
// one atomic write).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace {

constexpr int32_t DAY0 = 946857600;  // 2000-01-03
constexpr int BARS_PER_DAY = 400;    // 10 before the session, 390 inside it
constexpr int SESSION_START = 34200, SESSION_END = 57600;

std::string g_root;

void setup_root() {
  if (!g_root.empty()) return;
  char tmpl[] = "/tmp/kv_bench_pricefile_XXXXXX";
  g_root = mkdtemp(tmpl);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  kv_make_dirs((g_root + "/DATA").c_str(), nullptr);
  g_settings.KeepNumDays1Min = 5000;  // more than the 2,500 dates: keep every one
  g_settings.KeepExtMktHoursData = 0;
}

int32_t bar_time(int i) {
  int day = i / BARS_PER_DAY, k = i % BARS_PER_DAY;
  int32_t tod = k < 10 ? 30000 + 60 * k : SESSION_START + 60 * (k - 10);
  return DAY0 + day * 86400 + tod;
}

chart_rec* make_minute_chart(const char* symbol, int n, int first_index) {
  chart_rec* c = new_chart(symbol, TU_1MIN);
  grow_chart_bars(c, n);
  for (int i = 0; i < n; i++) {
    chart_bar& b = c->bars[i];
    float p = 100.0f + (float)((i + first_index) % 97) * 0.25f;
    b.open = p;
    b.high = p + 0.5f;
    b.low = p - 0.5f;
    b.close = p + 0.25f;
    b.volume = 1000 + i % 13;
    b.flags = BAR_VOLUME_VALID;
    b.time = bar_time(i + first_index);
  }
  c->header.bar_count = n;
  c->spare -= n;
  c->header.session_start = SESSION_START;
  c->header.session_end = SESSION_END;
  return c;
}

// A stored file of n bars, every one inside the session, written once.
std::string stored_file(const char* symbol, int n) {
  setup_root();
  char path[CHART_PATH_SIZE];
  chart_file_name(path, symbol, TU_1MIN);
  if (!kv_file_exists(path)) {
    chart_rec* c = make_minute_chart(symbol, n, 0);
    c->header.flags |= CHART_WRITE_ALL;
    write_chart_file(c);
    free_chart_copy(c);
  }
  return path;
}

void BM_ReadBaselineOneReadCall(benchmark::State& state) {
  std::string path = stored_file("READ", 1000000);
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    fstat(fd, &st);
    char* buf = (char*)malloc(st.st_size);
    benchmark::DoNotOptimize(read(fd, buf, st.st_size));
    close(fd);
    benchmark::DoNotOptimize(buf[st.st_size - 1]);
    free(buf);
  }
}
BENCHMARK(BM_ReadBaselineOneReadCall)->Unit(benchmark::kMillisecond);

void BM_ReadAndVerify(benchmark::State& state) {
  stored_file("READ", 1000000);
  for (auto _ : state) {
    chart_rec* c = load_and_merge_chart("READ", nullptr, TU_1MIN, 0);
    if (!c || c->header.bar_count != 1000000) state.SkipWithError("read failed");
    free_chart_data(c);
  }
}
BENCHMARK(BM_ReadAndVerify)->Unit(benchmark::kMillisecond);

// Stored bars (state.range(0)) with 10,000 fetched bars: the last 5,000
// stored minutes again and 5,000 new ones.
void BM_MergeBars(benchmark::State& state) {
  setup_root();
  int n = (int)state.range(0);
  chart_rec* stored = make_minute_chart("MERGE", n, 0);
  chart_rec* fetched = make_minute_chart("MERGE", 10000, n - 5000);
  for (auto _ : state) {
    state.PauseTiming();
    chart_rec* s = copy_chart(stored);
    chart_rec* f = copy_chart(fetched);
    s->extensions = f->extensions = nullptr;
    state.ResumeTiming();
    chart_alloc_log log = {};
    chart_rec* m = merge_bars(s, f, &log, 0);
    benchmark::DoNotOptimize(m->header.bar_count);
    state.PauseTiming();
    free_chart_copy(m);
    state.ResumeTiming();
  }
  state.SetComplexityN(n);
  free_chart_copy(stored);
  free_chart_copy(fetched);
}
BENCHMARK(BM_MergeBars)
    ->Arg(250000)
    ->Arg(500000)
    ->Arg(1000000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Writing the chart with kept days and session runs (2,500 runs of 390
// bars, the bars before each session left out) ...
void BM_WriteKeptDaysAndSessions(benchmark::State& state) {
  setup_root();
  chart_rec* c = make_minute_chart("WRITE", 1000000, 0);
  for (auto _ : state) {
    if (write_chart_file(c) != 0) state.SkipWithError("write failed");
  }
  free_chart_copy(c);
}
BENCHMARK(BM_WriteKeptDaysAndSessions)->Unit(benchmark::kMillisecond);

// ... against writing the same bytes with one atomic write.
void BM_WriteBaselineSameBytes(benchmark::State& state) {
  setup_root();
  std::string bytes;
  {
    chart_rec* c = make_minute_chart("WRITE", 1000000, 0);
    write_chart_file(c);
    free_chart_copy(c);
    kv_read_file((g_root + "/DATA/WRITE.1min").c_str(), &bytes, nullptr);
  }
  std::string path = g_root + "/DATA/BASELINE.1min";
  for (auto _ : state) {
    if (!kv_write_file_atomic(path.c_str(), bytes.data(), bytes.size(), nullptr))
      state.SkipWithError("write failed");
  }
  state.counters["bytes"] = (double)bytes.size();
}
BENCHMARK(BM_WriteBaselineSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Every benchmark here allocates and frees blocks of about 32 MB. Keep
  // them on the heap and the heap untrimmed, so that each iteration does
  // not fault in fresh pages and the figures compare the code, not where
  // the allocator happened to place the last block.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_root.empty()) kv_remove_tree(g_root.c_str());
  return 0;
}
