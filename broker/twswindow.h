// TWS's own windows, as the connect sequence needs them: whether TWS runs,
// starting it, typing the login, and pressing "Yes" in its confirmation
// dialogs.  The work is done by a backend of the window system; the one
// installed by default drives no windows: it takes TWS as running when its
// API port (QRHostname, QRPortNum) accepts a TCP connection, and can
// neither launch TWS nor log into it.
#pragma once

struct tws_window_backend {
  // Count of TWS main windows; nonzero means TWS runs.
  int (*is_running)(void);
  // 1 when the login window was found and the login typed into it.
  int (*login)(const char* user, const char* password);
  // Nonzero when the launch script was started.
  int (*launch)(void);
  // Presses "Yes" in every confirmation dialog of TWS.
  void (*confirm_dialogs)(void);
};

// The backend in use; starts as the null backend.
extern tws_window_backend g_tws_window_backend;
extern const tws_window_backend g_tws_null_window_backend;

int tws_is_running();
int tws_login(const char* user, const char* password);
int tws_launch();
void tws_confirm_dialogs();
// 1 when a TCP connection to host:port is accepted within timeout_ms (the
// connection is closed again at once), else 0.
int tws_port_answers(const char* host, int port, int timeout_ms);
// 1 when QRHostname is exactly "127.0.0.1" or this computer's name (without
// regard to case), else 0.
int tws_host_is_local();

// Chooses the window backend: the X11 one when a display opens, else the
// null one.  Called at start-up.
void tws_install_window_backend();
// The process id of the last launch script started (0 none).
extern long g_tws_launch_pid;
// 1 when pid is root or one of its descendants (by /proc), else 0.
int tws_pid_descends_from(long pid, long root);
