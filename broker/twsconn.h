// The connection to TWS: connect with the version handshake (and, when
// asked, the launch of TWS), the connected state, closing, and the two
// threads of the broker link.
//
// Reading is done by socket_input_thread alone (the main frame's read
// notification calls tws_on_socket_read on the user-interface thread).  The
// reader tells the connection's window when the peer has gone or the input
// is unusable, by posting WM_TWS_SOCKET with lParam TWS_FD_CLOSE; the
// window's handler calls tws_disconnect.  When the window is gone the
// reader closes the connection itself.
//
// g_tws_socket_lock is held by each request for all its fields, by the
// connect and by the close, never across the sleeps of the launch.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sync.h"
#include "platform/window.h"

enum {
  TWS_CLIENT_VERSION = 37,
  TWS_MIN_SERVER_VERSION = 37,
  TWS_FD_READ = 1,    // lParam of WM_TWS_SOCKET: input waiting
  TWS_FD_CLOSE = 32,  // lParam of WM_TWS_SOCKET: the connection closed
  TWS_CONNECT_TIME_MAX = 64,
  TWS_SOUND_CONNECTED = 16,
  TWS_SOUND_DISCONNECTED = 17,
};

// g_tws_launch_state
enum { TWS_LAUNCH_IDLE = 0, TWS_LAUNCH_RUNNING = 1, TWS_LAUNCH_FAILED = 2 };

extern const int32_t g_tws_client_version;
extern const int32_t g_tws_min_server_version;
// 1 while the connection is usable; written under g_tws_socket_lock.
extern std::atomic<int> g_tws_connected;
extern std::atomic<int32_t> g_tws_server_version;
extern std::atomic<int> g_tws_socket_errors;
extern std::atomic<int> g_tws_launch_state;
// Auto-reset: set when a connection is made (ends TWS_confirm_thread).
extern kv_event g_tws_connect_event;
// 1 after TWS reset the connection; the live-quote thread reads and clears it.
extern std::atomic<int> g_tws_closed;
extern uint32_t g_tws_msg_count;
extern int g_tws_prev_msg_id;
// The server's connection time of the last handshake.
extern char g_tws_connect_time[TWS_CONNECT_TIME_MAX];

// 1 connected (or already connected), 0 failed.  wnd receives WM_TWS_SOCKET.
int tws_connect(const char* host, int port, int client_id, kv_hwnd wnd);
// Shuts down the sending side and posts TWS_FD_CLOSE to wnd; 1, or 0 when
// not connected.
int tws_request_close(kv_hwnd wnd);
// Closes the connection after TWS_FD_CLOSE: 1 closed or reset, 0 when not
// connected or on an unexpected receive error.
int tws_disconnect();
// One message, for a read notification.
void tws_on_socket_read();

// Thread procedures, and their starters (1 started or already running).
int socket_input_thread(void* arg);
int TWS_confirm_thread(void* arg);
int start_socket_input_thread();
int start_tws_confirm_thread();
// Asks TWS_confirm_thread to end and waits for it.
void stop_tws_confirm_thread();
// Ends the stream after unusable input: reports it, shuts the socket down
// and has the connection closed through the window.
void tws_close_bad_stream(const char* why);
