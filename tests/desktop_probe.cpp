// The desktop screen's tests look at the X display through this tool: it finds top-level
// windows by their title, types keys and clicks into them through the XTEST extension, and
// saves a window's picture as PNG.
//
//   desktop-probe wait TITLE [SECONDS]        waits until a window TITLE is shown; prints its size
//   desktop-probe gone TITLE [SECONDS]        waits until no window TITLE is shown
//   desktop-probe count TITLE                 prints how many windows TITLE are shown
//   desktop-probe key TITLE KEY...            gives TITLE the focus and types the keys
//                                             (X key names, "alt+" and "shift+" before them)
//   desktop-probe click TITLE X Y             clicks at (X, Y) in TITLE's client area
//   desktop-probe shot TITLE FILE.png         saves TITLE's picture; fails if it is blank
//   desktop-probe drawn TITLE [SECONDS]       waits until TITLE is shown and drawn (not blank);
//                                             prints the wall-clock time then, in ms since 1970
//   desktop-probe modal TITLE                 succeeds when TITLE is marked modal (_NET_WM_STATE_MODAL)
//                                             and transient for another window
//   desktop-probe titles                      prints the titles of the shown windows
//
// Exit code 0 on success, 1 when the window is not there in time or the action fails.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

Display* display = nullptr;

std::string TitleOf(Window w) {
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
          Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  return title;
}

// The shown top-level windows with the title, oldest first.
std::vector<Window> Find(const std::string& title) {
  std::vector<Window> found;
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &n)) return found;
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable && TitleOf(children[i]) == title)
      found.push_back(children[i]);
  }
  if (children) XFree(children);
  return found;
}

bool WaitFor(const std::string& title, double seconds, bool present) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (Find(title).empty() != present) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

Window One(const std::string& title) {
  std::vector<Window> w = Find(title);
  if (w.empty()) {
    std::fprintf(stderr, "desktop-probe: no window \"%s\"\n", title.c_str());
    std::exit(1);
  }
  return w.back();
}

void Focus(Window w) {
  XSetInputFocus(display, w, RevertToParent, CurrentTime);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool TypeKey(std::string name) {
  std::vector<KeyCode> modifiers;
  for (;;) {
    if (name.rfind("alt+", 0) == 0) {
      modifiers.push_back(XKeysymToKeycode(display, XK_Alt_L));
      name = name.substr(4);
    } else if (name.rfind("shift+", 0) == 0) {
      modifiers.push_back(XKeysymToKeycode(display, XK_Shift_L));
      name = name.substr(6);
    } else {
      break;
    }
  }
  KeySym sym = XStringToKeysym(name.c_str());
  KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
  if (!code) {
    std::fprintf(stderr, "desktop-probe: no key \"%s\"\n", name.c_str());
    return false;
  }
  for (KeyCode m : modifiers) XTestFakeKeyEvent(display, m, True, 0);
  XTestFakeKeyEvent(display, code, True, 0);
  XTestFakeKeyEvent(display, code, False, 0);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) XTestFakeKeyEvent(display, *it, False, 0);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return true;
}

bool Click(Window w, int x, int y) {
  Window child;
  int rx, ry;
  XTranslateCoordinates(display, w, DefaultRootWindow(display), x, y, &rx, &ry, &child);
  XTestFakeMotionEvent(display, -1, rx, ry, 0);
  XTestFakeButtonEvent(display, 1, True, 0);
  XTestFakeButtonEvent(display, 1, False, 0);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return true;
}

int Shift(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

// The number of colours in the window's picture, 0 when it cannot be read.
std::size_t Colours(Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, w, &a)) return 0;
  XImage* image = XGetImage(display, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                            AllPlanes, ZPixmap);
  if (!image) return 0;
  std::set<unsigned long> colours;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) colours.insert(XGetPixel(image, x, y));
  XDestroyImage(image);
  return colours.size();
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // a window may go while it is looked at

bool WaitDrawn(const std::string& title, double seconds) {
  XSetErrorHandler(IgnoreErrors);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::vector<Window> w = Find(title);
    if (!w.empty() && Colours(w.back()) >= 8) {
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::system_clock::now().time_since_epoch());
      std::printf("%lld\n", static_cast<long long>(ms.count()));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

bool Shot(Window w, const char* file) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, w, &a)) return false;
  XImage* image = XGetImage(display, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                            AllPlanes, ZPixmap);
  if (!image) return false;
  std::vector<unsigned char> rgb(static_cast<std::size_t>(a.width) * a.height * 3);
  std::set<unsigned long> colours;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      colours.insert(p);
      unsigned char* o = &rgb[(static_cast<std::size_t>(y) * a.width + x) * 3];
      o[0] = static_cast<unsigned char>((p & image->red_mask) >> Shift(image->red_mask));
      o[1] = static_cast<unsigned char>((p & image->green_mask) >> Shift(image->green_mask));
      o[2] = static_cast<unsigned char>((p & image->blue_mask) >> Shift(image->blue_mask));
    }
  }
  XDestroyImage(image);
  FILE* out = std::fopen(file, "wb");
  if (!out) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, static_cast<png_uint_32>(a.width), static_cast<png_uint_32>(a.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < a.height; ++y) png_write_row(png, &rgb[static_cast<std::size_t>(y) * a.width * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(out);
  // A drawn dialog has a background, frames and anti-aliased text: many colours.
  if (colours.size() < 8) {
    std::fprintf(stderr, "desktop-probe: %s is blank (%zu colours)\n", file, colours.size());
    return false;
  }
  std::printf("%s %dx%d\n", file, a.width, a.height);
  return true;
}

bool Modal(Window w) {
  Window owner = None;
  bool transient = XGetTransientForHint(display, w, &owner) && owner != None;
  Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  bool marked = false;
  if (XGetWindowProperty(display, w, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
      data) {
    for (unsigned long i = 0; i < count; ++i) marked = marked || reinterpret_cast<Atom*>(data)[i] == modal;
  }
  if (data) XFree(data);
  if (!transient || !marked) std::fprintf(stderr, "desktop-probe: transient %d, modal %d\n", transient, marked);
  return transient && marked;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "desktop-probe: no display\n");
    return 1;
  }
  const std::string command = argv[1];
  const std::string title = argc > 2 ? argv[2] : "";
  bool ok = false;
  if (command == "wait" || command == "gone") {
    ok = WaitFor(title, argc > 3 ? std::atof(argv[3]) : 30, command == "wait");
    if (ok && command == "wait") {
      XWindowAttributes a;
      XGetWindowAttributes(display, One(title), &a);
      std::printf("%dx%d+%d+%d\n", a.width, a.height, a.x, a.y);
    }
    if (!ok) std::fprintf(stderr, "desktop-probe: %s \"%s\" timed out\n", command.c_str(), title.c_str());
  } else if (command == "drawn") {
    ok = WaitDrawn(title, argc > 3 ? std::atof(argv[3]) : 30);
  } else if (command == "modal") {
    ok = Modal(One(title));
  } else if (command == "count") {
    std::printf("%zu\n", Find(title).size());
    ok = true;
  } else if (command == "key" && argc > 3) {
    Focus(One(title));
    ok = true;
    for (int i = 3; i < argc && ok; ++i) ok = TypeKey(argv[i]);
  } else if (command == "click" && argc > 4) {
    ok = Click(One(title), std::atoi(argv[3]), std::atoi(argv[4]));
  } else if (command == "shot" && argc > 3) {
    ok = Shot(One(title), argv[3]);
  } else if (command == "titles") {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &n);
    for (unsigned i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
        std::printf("%s\n", TitleOf(children[i]).c_str());
    }
    if (children) XFree(children);
    ok = true;
  }
  XCloseDisplay(display);
  return ok ? 0 : 1;
}
