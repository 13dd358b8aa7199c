// The client side of the quote relay's transport.
//
// The relay program listens on Unix-domain SOCK_SEQPACKET sockets in the
// run folder ($XDG_RUNTIME_DIR/korvane-relay, the temporary folder when
// that is not set).  The request socket is named after the relay; every
// request is one packet and its reply one packet of at most 1,024 bytes,
// further packets carrying the further blocks of a long reply.  The data
// socket (the "spigot"), whose name the connect request returns, carries
// the relay's stream of records one way.  A relay on another host is
// reached through the folder named after that host inside the run folder.
//
// While the relay runs it holds the claim "<relay name>_IDevt"
// (kv_instance_claim); a free claim means it is not running.
//
// Transactions and the reply buffer are serialised by g_router_lock.  No
// function here may run on the user-interface thread: a transaction can
// wait up to 30 s for the relay.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quotes/qrecord.h"

// Router capability bits of the live-quote source configuration.
enum : uint32_t {
  QR_CAP_QUOTES = 0x2,
  QR_CAP_STREAMS = 0x4,
  QR_CAP_ORDER_BOOK = 0x10,
  QR_CAP_LEVEL2 = 0x20,
  QR_CAP_TRADING = 0x200,
  QR_CAP_BROKER_SOCKET = 0x10000,
};

// Results of qr_open_pipes.
enum {
  QR_OPEN_OK = 0,
  QR_OPEN_NO_REQUEST = 1,
  QR_OPEN_NO_DATA = 2,
  QR_OPEN_NO_EVENT = 3,
};

// Preference bit of g_pref_flags: start the relay when it is not running.
enum : uint32_t { PREF_START_RELAY = 0x10000000 };

// The errno of the last failed transaction (ECANCELED after the time-out).
extern int g_qr_last_error;
// The error code of the record that ended the last qr_read_records walk, 0
// when none did.
extern int g_qr_reply_error;

// The configured capability mask ANDed with bits; 0 without a configured
// live-quote source.  bits -1 asks whether any source is configured.
uint32_t has_router_capability(uint32_t bits);

// 1 connected (or already connected), 0 not.
int kvqr_connect();

// (host, relay name, client name) -> QR_OPEN_*.
int qr_open_pipes(const char* host, const char* relay_name, const char* client_name);

// One transaction: 1 with the reply in g_qr_reply, 0 failed (the reason
// in g_qr_last_error).  Caller holds g_router_lock.
int qr_transact(const uint8_t* request, int size);
// The next block of a long reply into g_qr_reply: 1 or 0 as qr_transact.
int qr_read_more();
// Waits for the reply of the request in flight: 1 with the reply, 0 failed.
int qr_wait_io();
// Walks the records of the reply in g_qr_reply 36 bytes at a time,
// reading further blocks until a record with bit 7 of byte 0, and hands
// each to handle (which returns 0 to stop early).  A record with an error
// code ends the walk, reported through kvqr_error_text with argument.  A
// walk that ends early reads out the rest of the reply (qr_finish_reply).
// Returns the number of records handed on, or -1: an error record, a
// failed read ("Error %d returned on router request") or a block that is
// not whole records.  Caller holds g_router_lock.
int qr_read_records(int (*handle)(const uint8_t* record, void* ctx), void* ctx,
                    const char* argument);
// Reads out the rest of the reply in g_qr_reply, from the record at byte
// offset on, up to its last record (bit 7), so that none of it is taken for
// the next reply. Gives up after the time of a whole transaction and then
// closes the connection. 1 read out, 0 the connection was closed. Caller
// holds g_router_lock.
int qr_finish_reply(int offset);
// Closes both sockets, clears the connected flag and the relay's symbol
// numbers.  Safe from any thread: without the router lock to be had at
// once, the sockets are only shut and closed by the next connect.
void qr_close();
// 1 while the sockets are open.
int qr_is_connected();
// 1 when the relay counts as connected: the sockets or the broker link.
int qr_relay_connected();
// The data socket for the input thread, -1 when closed.
int qr_data_socket();

// The run folder and the socket path of a name in it (host null or local:
// the run folder itself).  Return buf, or null when the path does not fit.
char* qr_run_folder(char* buf, size_t size);
char* qr_socket_path(char* buf, size_t size, const char* host, const char* name);
// 1 when host names this computer (case-insensitive) or is "127.0.0.1".
int qr_host_is_local(const char* host);

// What the broker-socket mode and the input threads provide.  Each module
// sets its entries when it starts; a null entry is a module that is not
// there, and the step is skipped (a null tws_connect counts as a failed
// connect).
struct qr_hooks {
  // The broker link: nonzero while connected; connect (host, port,
  // client id) -> 1 connected; the half-close of the connection.
  int (*tws_connected)();
  int (*tws_connect)(const char* host, int port, int client_id);
  void (*tws_request_close)();
  // The broker's socket input thread; the quote ring of broker mode.
  int (*start_socket_input)();
  void (*alloc_quote_ring)();
  // The relay's input thread: 1 started.
  int (*start_spigot)();
  // Broker market data of a record: ticker id or 0; cancelling one.
  int (*req_mkt_data)(struct mqt* record);
  void (*cancel_mkt_data)(int ticker_id);
  // Account and order information; releasing a record's market depth.
  void (*req_all_open_orders)();
  void (*req_executions)();
  void (*req_account_updates)();
  void (*release_market_depth)(struct mqt* record);
  // Orders and executions asked again after the broker came back.
  void (*refresh_orders)();
};
extern qr_hooks g_qr_hooks;
