// The chart loader's calls into the live-quote list: lookup, creation and
// linking of loaded charts. Set once at start-up.
#include "data/chartload.h"
#include "quotes/mqt.h"

static void link_loaded_chart(chart_rec* chart)
{
    link_chart_to_mqt(chart);
}

void install_mqt_chart_hooks()
{
    g_chart_load_hooks.find_mqt = find_mqt;
    g_chart_load_hooks.get_multiquote = get_multiquote;
    g_chart_load_hooks.link_chart_to_mqt = link_loaded_chart;
}
