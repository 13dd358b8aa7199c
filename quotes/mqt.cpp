// Releasing a live-quote record.
#include <cstdlib>

#include "data/chart.h"
#include "platform/locks.h"
#include "quotes/mqt.h"

void delete_multiquote(mqt* record)
{
    if (!record)
        return;
    kv_lock guard(g_chart_lock);
    if (--record->users > 0)
        return;
    write_iext_file(record);
    free_linked_blocks(record->iext_chain);
    for (chart_rec* chart = g_chart_list; chart; chart = chart->next)
        if (chart->mqt == record)
            chart->mqt = nullptr;
    free(record);
}
