// The alert file reader on arbitrary file contents: every loaded alert has a
// terminated symbol and numbers for prices, and the alerts in use that are saved load again.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "quotes/alerts.h"
#include "settings/settings.h"

static std::string g_path;

static void setup_root()
{
    char tmpl[] = "/tmp/kv_fuzz_alerts_XXXXXX";
    std::string root = mkdtemp(tmpl);
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
    kv_make_dirs((root + "/CONFIG").c_str(), nullptr);
    g_path = root + "/CONFIG/alerts.dat";
}

static int check_table()
{
    int n = 0, in_use = 0;
    for (alert_rec* a; (a = alert_from_id(n + 1)); n++) {
        if (!memchr(a->symbol, 0, sizeof a->symbol) || !std::isfinite(a->high_price) ||
            !std::isfinite(a->low_price))
            abort();
        in_use += a->symbol[0] && (a->flags & ALERT_IN_USE);
    }
    return in_use;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_path.empty())
        setup_root();
    if (!kv_write_file_atomic(g_path.c_str(), data, size, nullptr))
        return 0;
    free_alerts();
    if (!load_alerts())
        return 0;
    int in_use = check_table();
    alert_rec* a = find_or_add_alert("FZ");
    if (a && !(a->flags & ALERT_IN_USE)) {
        a->flags |= ALERT_IN_USE;
        in_use++;
    }
    if (save_alerts()) {
        free_alerts();
        if (!load_alerts() || check_table() != in_use)
            abort();
    }
    free_alerts();
    return 0;
}
