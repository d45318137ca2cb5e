/* An X11 program for the Windows end-to-end test, where Wine runs the
 * program: it drags data onto a window by the XDND protocol, as a file
 * manager does, and asks a window to close as a window manager's close box
 * does (WM_DELETE_WINDOW; xdotool's windowclose destroys the window instead).
 *
 *   x11_peer close WINDOW
 *   x11_peer drop WINDOW X Y MIME-TYPE DATA     (X, Y inside WINDOW)
 *
 * Exit status 0 when the target accepted and finished the drop. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static Display *display;

static Atom atom(const char *name) { return XInternAtom(display, name, False); }

static void send_client_message(Window target, Atom type, long l0, long l1, long l2, long l3, long l4) {
  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = l0;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(display, target, False, NoEventMask, &event);
  XFlush(display);
}

/* The XDND-aware window at or above `window` (Wine marks its top-level
 * frame), or `window` itself. */
static Window aware_window(Window window) {
  Atom aware = atom("XdndAware");
  for (;;) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = NULL;
    if (XGetWindowProperty(display, window, aware, 0, 1, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success && type != None) {
      XFree(data);
      return window;
    }
    Window root, parent, *children;
    unsigned int n;
    if (!XQueryTree(display, window, &root, &parent, &children, &n)) return window;
    if (children) XFree(children);
    if (parent == root || parent == None) return window;
    window = parent;
  }
}

/* Serves one selection request for the drag data. */
static void answer(XSelectionRequestEvent *request, Atom mime, const char *data) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request->requestor;
  reply.xselection.selection = request->selection;
  reply.xselection.target = request->target;
  reply.xselection.time = request->time;
  reply.xselection.property = None;
  if (request->target == mime) {
    Atom property = request->property != None ? request->property : request->target;
    XChangeProperty(display, request->requestor, property, mime, 8, PropModeReplace, (const unsigned char *)data,
                    (int)strlen(data));
    reply.xselection.property = property;
  }
  XSendEvent(display, request->requestor, False, NoEventMask, &reply);
  XFlush(display);
}

/* Runs events until a client message of `type` arrives or 10 s pass. */
static int wait_for(Window source, Atom type, Atom mime, const char *data, XClientMessageEvent *got) {
  time_t end = time(NULL) + 10;
  while (time(NULL) < end) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == SelectionRequest) {
        answer(&event.xselectionrequest, mime, data);
      } else if (event.type == ClientMessage && event.xclient.message_type == type) {
        *got = event.xclient;
        return 1;
      }
    }
    int fd = ConnectionNumber(display);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval wait = {0, 100000};
    select(fd + 1, &set, NULL, NULL, &wait);
  }
  (void)source;
  return 0;
}

static int drop(Window target_window, int x, int y, const char *mime_name, const char *data) {
  Window root = DefaultRootWindow(display);
  Window source = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
  Atom mime = atom(mime_name);
  int root_x, root_y;
  Window child;
  XTranslateCoordinates(display, target_window, root, x, y, &root_x, &root_y, &child);
  Window target = aware_window(target_window);
  if (XSetSelectionOwner(display, atom("XdndSelection"), source, CurrentTime), XGetSelectionOwner(display, atom("XdndSelection")) != source) {
    fprintf(stderr, "x11_peer: cannot own XdndSelection\n");
    return 1;
  }
  XClientMessageEvent reply;
  send_client_message(target, atom("XdndEnter"), (long)source, 5L << 24, (long)mime, 0, 0);
  send_client_message(target, atom("XdndPosition"), (long)source, 0, ((long)root_x << 16) | root_y, CurrentTime,
                      (long)atom("XdndActionCopy"));
  if (!wait_for(source, atom("XdndStatus"), mime, data, &reply)) {
    fprintf(stderr, "x11_peer: no XdndStatus\n");
    return 1;
  }
  if (!(reply.data.l[1] & 1)) {
    fprintf(stderr, "x11_peer: the target refused the drag\n");
    send_client_message(target, atom("XdndLeave"), (long)source, 0, 0, 0, 0);
    return 1;
  }
  send_client_message(target, atom("XdndDrop"), (long)source, 0, CurrentTime, 0, 0);
  if (!wait_for(source, atom("XdndFinished"), mime, data, &reply)) {
    fprintf(stderr, "x11_peer: no XdndFinished\n");
    return 1;
  }
  return 0;
}

int main(int argc, char **argv) {
  display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "x11_peer: no display\n");
    return 2;
  }
  if (argc == 3 && strcmp(argv[1], "close") == 0) {
    Window window = (Window)strtoul(argv[2], NULL, 0);
    send_client_message(window, atom("WM_PROTOCOLS"), (long)atom("WM_DELETE_WINDOW"), CurrentTime, 0, 0, 0);
    XSync(display, False);
    return 0;
  }
  if (argc == 7 && strcmp(argv[1], "drop") == 0) {
    return drop((Window)strtoul(argv[2], NULL, 0), atoi(argv[3]), atoi(argv[4]), argv[5], argv[6]);
  }
  fprintf(stderr, "usage: x11_peer close WINDOW | drop WINDOW X Y MIME-TYPE DATA\n");
  return 2;
}
