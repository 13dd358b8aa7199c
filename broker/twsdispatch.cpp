// Reading one incoming message and handing it to the handler of its id.
#include "broker/twsdispatch.h"

#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twswire.h"
#include "data/debugtrace.h"

tws_msg_handler g_tws_msg_handlers[TWS_MSG_HANDLERS] = {
    nullptr, nullptr, nullptr, nullptr, tws_error_message,
};

int tws_process_message()
{
    if (!g_tws_connected.load())
        return 0;
    g_tws_read_failed = TWS_READ_OK;
    int id = tws_read_msg_id();
    if (g_tws_read_failed) {
        tws_close_bad_stream(g_tws_read_failed == TWS_READ_TOO_LONG ? "message id too long"
                                                                    : "message id not read whole");
        return 0;
    }
    if (id < 0)
        return 0;
    g_tws_msg_count++;
    tws_msg_handler handler = id < TWS_MSG_HANDLERS ? g_tws_msg_handlers[id] : nullptr;
    if (!handler) {
        debug_trace("msg#:%07d  msgId=%d   previous_msgId=%d\n", (int)g_tws_msg_count, id,
                    g_tws_prev_msg_id);
        tws_dump_trace();
        tws_error(1, id, "505 Fatal Error: Unknown message id", 0);
        // Messages have no length: what follows cannot be found.
        tws_close_bad_stream("unknown message id");
        return 1;
    }
    handler(id);
    g_tws_prev_msg_id = id;
    if (g_tws_read_failed == TWS_READ_TOO_LONG)
        tws_close_bad_stream("field too long");
    else if (g_tws_read_failed)
        tws_close_bad_stream("message not read whole");
    return 1;
}
