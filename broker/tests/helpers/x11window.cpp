// A stand-in for one of TWS's windows on an X11 display: a top-level window
// with the title given, its process id in _NET_WM_PID, that appends every
// key it receives to a file ("\t", "\r", "<A-y>" for Alt+Y, else the
// character).  Used as: x11window <title> <file>; it runs until killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  // A loaded test machine's server can refuse a connection for a moment
  // (its client slots busy with the test's own looks at the windows): try
  // again for up to ten seconds before giving up.
  Display* d = XOpenDisplay(nullptr);
  for (int tries = 0; !d && tries < 200; tries++) {
    usleep(50 * 1000);
    d = XOpenDisplay(nullptr);
  }
  if (!d) return 1;
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0xFFFFFF);
  XStoreName(d, w, argv[1]);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  (const unsigned char*)argv[1], (int)strlen(argv[1]));
  unsigned long pid = (unsigned long)getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  (const unsigned char*)&pid, 1);
  XSelectInput(d, w, KeyPressMask | StructureNotifyMask);
  // "hidden": the window exists but is never shown.
  if (argc < 4 || strcmp(argv[3], "hidden") != 0) XMapRaised(d, w);
  XFlush(d);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type != KeyPress) continue;
    char buf[8] = "";
    KeySym sym = 0;
    int n = XLookupString(&e.xkey, buf, sizeof buf - 1, &sym, nullptr);
    FILE* f = fopen(argv[2], "a");
    if (!f) continue;
    if (sym == XK_Tab)
      fputs("\t", f);
    else if (sym == XK_Return)
      fputs("\r", f);
    else if (n > 0 && (e.xkey.state & Mod1Mask))
      fprintf(f, "<A-%c>", buf[0]);
    else if (n > 0)
      fwrite(buf, 1, (size_t)n, f);
    fclose(f);
  }
}
