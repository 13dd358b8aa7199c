// The chart loader's calls into the live-quote list: lookup, creation,
// linking of loaded charts, dropping a chart's use of its record and the
// stream requests of a record, and the exit clean-up's saving of the alerts
// and freeing of the records. Set once at start-up.
#include "data/chartload.h"
#include "quotes/alerts.h"
#include "quotes/mqt.h"
#include "quotes/router.h"

static void link_loaded_chart(chart_rec* chart) {
  link_chart_to_mqt(chart);
}

void install_mqt_chart_hooks() {
  g_chart_load_hooks.find_mqt = find_mqt;
  g_chart_load_hooks.get_multiquote = get_multiquote;
  g_chart_load_hooks.link_chart_to_mqt = link_loaded_chart;
  g_chart_load_hooks.delete_multiquote = delete_multiquote;
  g_chart_load_hooks.router_post_stream = router_post_stream;
  g_chart_load_hooks.save_alerts = save_alerts;
  g_chart_load_hooks.free_all_mqts = free_all_mqts;
}
