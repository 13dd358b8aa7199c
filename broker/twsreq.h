// Requests sent by the connect sequence.  Each checks the connection
// ("504 Not connected" as a notice when there is none) and holds
// g_tws_socket_lock for all its fields.
#pragma once

void ReqIds(int count);
void ReqAutoOpenOrders(int flag);
void ReqManagedAccts();
void RequestFA(int data_type);  // 1 groups, 2 profiles, 3 account aliases
void ReqCurrentTime();

// The start of every request: 1 with g_tws_socket_lock held when
// connected; else reports 504 with the ticker id and returns 0 unlocked.
int tws_request_begin(int ticker_id);
void tws_request_end();
