// Takes the picture of the screen with a running Korvane on an X display,
// as a user would see it, and then closes it through its window's close button.
//
// Waits (at most 60 s) for the main window, answers the message boxes that
// start-up shows (with the close button, which is their OK), waits until
// the window's picture has settled, saves it as PNG and asks the window to
// close.  Exit code 0 when the picture was saved and the close was sent.
// Usage: korvane_shot OUTPUT.png
// Qt first: the X11 headers define names (Status, None) that Qt's use.
#include <QImage>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct TopWindow {
  Window id;
  int width, height;
};

std::vector<TopWindow> korvane_windows(Display* dpy) {
  std::vector<TopWindow> out;
  Window root = DefaultRootWindow(dpy), parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(dpy, root, &root, &parent, &children, &count)) return out;
  for (unsigned i = 0; i < count; i++) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable) continue;
    char* name = nullptr;
    if (XFetchName(dpy, children[i], &name) && name) {
      if (strcmp(name, "Korvane") == 0 && a.width > 1)
        out.push_back({children[i], a.width, a.height});
      XFree(name);
    }
  }
  if (children) XFree(children);
  return out;
}

void send_close(Display* dpy, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, w, False, NoEventMask, &e);
  XFlush(dpy);
}

QImage grab(Display* dpy, const TopWindow& w) {
  XImage* x = XGetImage(dpy, w.id, 0, 0, unsigned(w.width), unsigned(w.height), AllPlanes, ZPixmap);
  if (!x) return QImage();
  QImage img(w.width, w.height, QImage::Format_RGB32);
  for (int y = 0; y < w.height; y++)
    for (int col = 0; col < w.width; col++) {
      unsigned long px = XGetPixel(x, col, y);
      img.setPixel(col, y, 0xFF000000u | unsigned(px & 0xFFFFFF));
    }
  XDestroyImage(x);
  return img;
}

bool uniform(const QImage& img) {
  QRgb first = img.pixel(0, 0);
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3)
      if (img.pixel(x, y) != first) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  Display* dpy = nullptr;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  QImage last;
  int settled = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    if (!dpy && !(dpy = XOpenDisplay(nullptr))) continue;
    std::vector<TopWindow> wins = korvane_windows(dpy);
    if (wins.empty()) continue;
    // The main window is the largest; smaller ones are message boxes.
    size_t main = 0;
    for (size_t i = 1; i < wins.size(); i++)
      if (wins[i].width * wins[i].height > wins[main].width * wins[main].height) main = i;
    if (wins.size() > 1) {
      for (size_t i = 0; i < wins.size(); i++)
        if (i != main) send_close(dpy, wins[i].id);
      settled = 0;
      continue;
    }
    // The whole screen: the main window and what start-up opened beside it.
    XWindowAttributes root;
    XGetWindowAttributes(dpy, DefaultRootWindow(dpy), &root);
    QImage img = grab(dpy, {DefaultRootWindow(dpy), root.width, root.height});
    if (img.isNull() || uniform(img)) continue;
    settled = (img == last) ? settled + 1 : 0;
    last = img;
    if (settled < 4) continue;  // one second without change
    if (!img.save(QString::fromLocal8Bit(argv[1]))) {
      std::fprintf(stderr, "cannot write %s\n", argv[1]);
      return 1;
    }
    send_close(dpy, wins[main].id);
    XCloseDisplay(dpy);
    return 0;
  }
  std::fprintf(stderr, "no settled Korvane window within 60 s\n");
  return 1;
}
