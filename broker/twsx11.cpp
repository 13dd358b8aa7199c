// The X11 backend of TWS's windows: top-level windows by their titles (the
// EWMH client list, or the root's children without a window manager),
// activation (EWMH _NET_ACTIVE_WINDOW, with focus and raise as fallback)
// and keys typed through XTest.  Each call opens its own display
// connection, so that the connecting thread and TWS_confirm_thread never
// share one.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "broker/twswindow.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "platform/thread.h"
#include "settings/settings.h"

long g_tws_launch_pid;

int tws_pid_descends_from(long pid, long root) {
  for (int depth = 0; pid > 1 && depth < 64; depth++) {
    if (pid == root) return 1;
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    char buf[512];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    // "pid (comm) state ppid": the command may hold blanks and ")".
    const char* close = strrchr(buf, ')');
    long ppid = 0;
    if (!close || sscanf(close + 1, " %*c %ld", &ppid) != 1) return 0;
    pid = ppid;
  }
  return pid == root && root > 1;
}

#if KV_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

enum {
  WINDOWS_MAX = 100,
  TITLE_MAX = 99,
  TAB_PAUSE_MS = 200,
  MSGBOX_PAUSE_MS = 500,
  LOGIN_SETTLE_MS = 15000,
  PROBE_TIMEOUT_MS = 1000,
  MATCH_EXACT = 0,
  MATCH_CONTAINS = 1,
};

namespace {
struct display_conn {
  Display* d;
  display_conn() : d(XOpenDisplay(nullptr)) {}
  ~display_conn() {
    if (d) XCloseDisplay(d);
  }
};
}  // namespace

static int ignore_errors(Display*, XErrorEvent*) {
  return 0;
}

static std::string window_title(Display* d, Window w) {
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom net_name = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, net_name, 0, 64, False, utf8, &type, &format, &n, &after, &data) ==
          Success &&
      data && n) {
    title.assign((const char*)data, n);
  }
  if (data) XFree(data);
  if (title.empty()) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name) title = name;
    if (name) XFree(name);
  }
  if (title.size() > TITLE_MAX) title.resize(TITLE_MAX);
  return title;
}

static long window_pid(Display* d, Window w) {
  Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  long pid = 0;
  if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after,
                         &data) == Success &&
      data && n && format == 32)
    pid = (long)*(unsigned long*)data;
  if (data) XFree(data);
  return pid;
}

static std::vector<Window> top_level_windows(Display* d) {
  std::vector<Window> out;
  Window root = DefaultRootWindow(d);
  Atom list = XInternAtom(d, "_NET_CLIENT_LIST", True);
  if (list != None) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, list, 0, 4096, False, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success &&
        data && format == 32) {
      for (unsigned long i = 0; i < n; i++) out.push_back((Window)((unsigned long*)data)[i]);
    }
    if (data) XFree(data);
    if (!out.empty()) return out;
  }
  // No window manager: the root's children are the top-level windows.
  Window r, parent, *children = nullptr;
  unsigned int n = 0;
  if (XQueryTree(d, root, &r, &parent, &children, &n) && children) {
    for (unsigned int i = 0; i < n; i++) out.push_back(children[i]);
    XFree(children);
  }
  return out;
}

static int visible(Display* d, Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// Visible windows whose title equals (MATCH_EXACT) or contains the text.
static std::vector<Window> find_windows_by_title(Display* d, const char* title, int mode) {
  std::vector<Window> found;
  for (Window w : top_level_windows(d)) {
    if (found.size() >= WINDOWS_MAX) break;
    if (!visible(d, w)) continue;
    std::string t = window_title(d, w);
    if (t.empty()) continue;
    if (mode == MATCH_EXACT ? t == title : t.find(title) != std::string::npos) found.push_back(w);
  }
  return found;
}

static Window active_window(Display* d) {
  Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", True);
  if (active != None) {
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    Window w = None;
    if (XGetWindowProperty(d, DefaultRootWindow(d), active, 0, 1, False, XA_WINDOW, &type, &format,
                           &n, &after, &data) == Success &&
        data && n && format == 32)
      w = (Window) * (unsigned long*)data;
    if (data) XFree(data);
    if (w != None) return w;
  }
  Window focus;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  return focus;
}

static void bring_to_front(Display* d, Window w) {
  if (active_window(d) == w) return;
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = 2;  // from a pager: the request is honoured
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XMapRaised(d, w);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);
}

// Whether the window (or one of its children) holds the keyboard focus.
static int has_focus(Display* d, Window w) {
  Window focus = None;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  for (int depth = 0; focus != None && focus != PointerRoot && depth < 16; depth++) {
    if (focus == w) return 1;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, focus, &root, &parent, &children, &n)) return 0;
    if (children) XFree(children);
    if (parent == root) return 0;
    focus = parent;
  }
  return 0;
}

static void key(Display* d, KeySym sym, int shift, int alt) {
  KeyCode code = XKeysymToKeycode(d, sym);
  if (!code) return;
  KeyCode sh = XKeysymToKeycode(d, XK_Shift_L), al = XKeysymToKeycode(d, XK_Alt_L);
  if (shift && sh) XTestFakeKeyEvent(d, sh, True, CurrentTime);
  if (alt && al) XTestFakeKeyEvent(d, al, True, CurrentTime);
  XTestFakeKeyEvent(d, code, True, CurrentTime);
  XTestFakeKeyEvent(d, code, False, CurrentTime);
  if (alt && al) XTestFakeKeyEvent(d, al, False, CurrentTime);
  if (shift && sh) XTestFakeKeyEvent(d, sh, False, CurrentTime);
  XSync(d, False);
}

// One character: its key, with Shift when the unshifted key gives another
// character.
static void send_char(Display* d, char c) {
  if (c == '\t') {
    key(d, XK_Tab, 0, 0);
    kv_sleep_ms(TAB_PAUSE_MS);
    return;
  }
  if (c == '\r' || c == '\n') {
    key(d, XK_Return, 0, 0);
    return;
  }
  KeySym sym = (KeySym)(unsigned char)c;
  KeyCode code = XKeysymToKeycode(d, sym);
  if (!code) return;
  KeySym plain = XkbKeycodeToKeysym(d, code, 0, 0);
  key(d, sym, plain != sym, 0);
}

static void send_keystrokes(Display* d, const char* text) {
  for (const char* p = text; *p; p++) send_char(d, *p);
}

static int x11_is_running(void) {
  display_conn c;
  if (!c.d) return 0;
  XSetErrorHandler(ignore_errors);
  const char* title = g_settings.TWSAccountName[0] ? g_settings.TWSAccountName
                                                   : "Interactive Brokers Trader Workstation";
  int n = (int)find_windows_by_title(c.d, title, MATCH_CONTAINS).size();
  if (n) return n;
  // A gateway shows no window: its API port answering counts as running.
  return tws_port_answers(g_qr_hostname, g_qr_port_num, PROBE_TIMEOUT_MS);
}

static int x11_login(const char* user, const char* password) {
  display_conn c;
  if (!c.d) return 0;
  XSetErrorHandler(ignore_errors);
  // Only a login window of the launched script (or its descendants) is
  // typed into: the password goes to no other program's window.
  long root = g_tws_launch_pid;
  if (root <= 0) return 0;
  Window login = None;
  for (Window w : find_windows_by_title(c.d, "Login", MATCH_EXACT)) {
    long pid = window_pid(c.d, w);
    if (pid > 0 && tws_pid_descends_from(pid, root)) {
      login = w;
      break;
    }
  }
  if (login == None) return 0;
  char text[256];
  snprintf(text, sizeof text, "%s\t%s\r", user ? user : "", password ? password : "");
  Window front = active_window(c.d);
  if (front != None && front != login && window_pid(c.d, front) == window_pid(c.d, login)) {
    key(c.d, XK_Return, 0, 0);
    statmsg(nullptr, 0, "New version of TWS is available", nullptr, STATMSG_NOTICE);
    kv_sleep_ms(MSGBOX_PAUSE_MS);
  }
  bring_to_front(c.d, login);
  // Keys go to whichever window holds the focus: type only once the login
  // window has it, else the caller tries again (the password never lands in
  // a window that took the focus meanwhile).
  if (!has_focus(c.d, login)) {
    memset(text, 0, sizeof text);
    return 0;
  }
  send_keystrokes(c.d, text);
  memset(text, 0, sizeof text);
  kv_sleep_ms(kv_scaled_ms(LOGIN_SETTLE_MS));
  return 1;
}

static int x11_launch(void) {
  kv_launch_options opt = {};
  opt.detach = 1;
  long pid = kv_launch("./launchtws.sh", nullptr, &opt);
  g_tws_launch_pid = pid > 0 ? pid : 0;
  return pid > 0;
}

static void x11_confirm_dialogs(void) {
  display_conn c;
  if (!c.d) return;
  XSetErrorHandler(ignore_errors);
  for (Window w : find_windows_by_title(c.d, "Trader Workstation", MATCH_CONTAINS)) {
    bring_to_front(c.d, w);
    key(c.d, XK_y, 0, 1);
    key(c.d, XK_Return, 0, 0);
  }
}

static const tws_window_backend k_x11_backend = {
    x11_is_running,
    x11_login,
    x11_launch,
    x11_confirm_dialogs,
};

void tws_install_window_backend() {
  display_conn c;
  int xtest = 0, ev, er, maj, min;
  if (c.d) xtest = XTestQueryExtension(c.d, &ev, &er, &maj, &min);
  g_tws_window_backend = c.d && xtest ? k_x11_backend : g_tws_null_window_backend;
}

#else

void tws_install_window_backend() {
  g_tws_window_backend = g_tws_null_window_backend;
}

#endif
