#include "VirtualDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Windows come and go while we walk the tree; a question about a window
// that has just gone is answered "no", not by ending the test.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool HasProperty(Display* d, Window w, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom atom = XInternAtom(d, name, False);
  const bool found = XGetWindowProperty(d, w, atom, 0, 1, False, AnyPropertyType, &type, &format,
                                        &count, &after, &data) == Success &&
                     type != None;
  if (data != nullptr) XFree(data);
  return found;
}

// The raw bytes of a string property of 8-bit format.
std::string StringProperty(Display* d, Window w, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 4096, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) == Success &&
      data != nullptr && format == 8) {
    out.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return out;
}

// Whether the window's atom-list property `name` holds the atom `wanted`.
bool AtomListHolds(Display* d, Window w, const char* name, const char* wanted) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool holds = false;
  const Atom wantedAtom = XInternAtom(d, wanted, False);
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 64, False, XA_ATOM, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr && format == 32) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count; ++i) holds |= atoms[i] == wantedAtom;
  }
  if (data != nullptr) XFree(data);
  return holds;
}

void Walk(Display* d, Window w, const std::function<void(Window)>& visit) {
  visit(w);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int n = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n) == 0) return;
  std::vector<Window> list(children, children + n);
  if (children != nullptr) XFree(children);
  for (Window c : list) Walk(d, c, visit);
}

}  // namespace

VirtualDisplay::~VirtualDisplay() { Stop(); }

bool VirtualDisplay::Start(const std::string& logDir, const std::vector<std::string>& env,
                           std::string* error) {
  if (!m_server.Start(logDir + "/xvfb.log", env, error)) return false;
  m_name = m_server.name();
  m_env = env;
  for (const std::string& e : ClientEnv()) m_env.push_back(e);

  XSetErrorHandler(IgnoreXError);
  m_display = XOpenDisplay(m_name.c_str());
  if (m_display == nullptr) {
    *error = "cannot connect to the virtual display " + m_name;
    Stop();
    return false;
  }

  ChildProcess::Options wmOptions;
  wmOptions.env = m_env;
  wmOptions.logPath = logDir + "/openbox.log";
  if (!m_windowManager.Start({"/usr/bin/openbox", "--sm-disable"}, wmOptions, error)) {
    Stop();
    return false;
  }
  // A maximise request needs a window manager that owns the screen.
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!HasProperty(m_display, DefaultRootWindow(m_display), "_NET_SUPPORTING_WM_CHECK")) {
    if (!m_windowManager.Running()) {
      *error = "openbox ended at start (" + m_windowManager.Describe() + ")";
      Stop();
      return false;
    }
    if (Clock::now() >= deadline) {
      *error = "openbox did not take the screen";
      Stop();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

void VirtualDisplay::Stop() {
  // Our own connection goes first: Xlib ends the process when its server
  // disappears under it.
  if (m_display != nullptr) {
    XCloseDisplay(m_display);
    m_display = nullptr;
  }
  m_windowManager.Stop();
  m_server.Stop();
}

std::vector<std::string> VirtualDisplay::ClientEnv() const {
  if (m_name.empty()) return {};
  return {"DISPLAY=" + m_name, "WAYLAND_DISPLAY"};
}

std::vector<VirtualDisplay::WindowId> VirtualDisplay::FindWindows(const std::string& wmClass) {
  std::vector<WindowId> found;
  if (m_display == nullptr) return found;
  Walk(m_display, DefaultRootWindow(m_display), [&](Window w) {
    XClassHint hint{};
    if (XGetClassHint(m_display, w, &hint) == 0) return;
    const bool match = hint.res_class != nullptr && wmClass == hint.res_class;
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    if (!match) return;
    XWindowAttributes attrs{};
    if (XGetWindowAttributes(m_display, w, &attrs) == 0 || attrs.map_state != IsViewable) return;
    found.push_back(w);
  });
  return found;
}

std::string VirtualDisplay::Title(WindowId window) {
  if (m_display == nullptr) return std::string();
  std::string title = StringProperty(m_display, window, "_NET_WM_NAME");
  if (title.empty()) title = StringProperty(m_display, window, "WM_NAME");
  return title;
}

bool VirtualDisplay::IsDialog(WindowId window) {
  return m_display != nullptr &&
         AtomListHolds(m_display, window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG");
}

bool VirtualDisplay::Offers(WindowId window, const char* action) {
  return m_display != nullptr &&
         AtomListHolds(m_display, window, "_NET_WM_ALLOWED_ACTIONS", action);
}

bool VirtualDisplay::Geometry(WindowId window, ScreenBox* box) {
  if (m_display == nullptr) return false;
  XWindowAttributes attrs{};
  if (XGetWindowAttributes(m_display, window, &attrs) == 0) return false;
  Window child = 0;
  int x = 0, y = 0;
  if (!XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child))
    return false;
  *box = ScreenBox{x, y, attrs.width, attrs.height};
  return true;
}

bool VirtualDisplay::RequestClose(WindowId window) {
  if (m_display == nullptr) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(m_display, window, False, NoEventMask, &event) != 0;
  XSync(m_display, False);
  return sent;
}

bool VirtualDisplay::PressKey(WindowId window, const char* keysymName) {
  if (m_display == nullptr) return false;
  const KeySym sym = XStringToKeysym(keysymName);
  const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(m_display, sym);
  if (code == 0) return false;
  const Window root = DefaultRootWindow(m_display);
  bool sent = true;
  for (const int type : {KeyPress, KeyRelease}) {
    XEvent event{};
    event.xkey.type = type;
    event.xkey.display = m_display;
    event.xkey.window = window;
    event.xkey.root = root;
    event.xkey.subwindow = None;
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.keycode = code;
    event.xkey.state = 0;
    sent &= XSendEvent(m_display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                       &event) != 0;
  }
  XSync(m_display, False);
  return sent;
}

bool VirtualDisplay::Screenshot(const std::string& pngPath, std::string* error) {
  ChildProcess::Options options;
  options.env = m_env;
  std::string how;
  const int status = RunToEnd({"/usr/bin/import", "-display", m_name, "-window", "root", pngPath},
                              options, std::chrono::seconds(30), &how);
  if (status != 0) {
    *error = "import: " + how;
    return false;
  }
  return true;
}
