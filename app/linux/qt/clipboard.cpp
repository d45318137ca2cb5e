#include "app/linux/qt/clipboard.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/form.h"
#include "app/linux/qt/qt_text.h"

#if defined(KESTROVA_X11_CLIPBOARD) && QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include "app/linux/x11_selection.h"
#define KESTROVA_ASK_X11 1
#endif

namespace kestrova::clipboard {

namespace {

[[noreturn]] void refused() {
  throw PlatformError("cannot set the clipboard: the windowing system did not accept the text");
}

#ifdef KESTROVA_ASK_X11

enum class Holder { Us, Other, Nobody };
struct Owner {
  Holder holder;
  xcb_window_t window;
};

xcb_connection_t* x11_connection() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = app != nullptr ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t clipboard_atom(xcb_connection_t* connection) {
  static xcb_atom_t atom = XCB_ATOM_NONE;
  if (atom == XCB_ATOM_NONE) {
    static constexpr char kName[] = "CLIPBOARD";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (reply != nullptr) {
      atom = reply->atom;
      std::free(reply);
    }
  }
  return atom;
}

// Windows of this client carry ids from its own resource range, whichever
// of Qt's windows it chose to own the selection with.
Owner x11_owner(xcb_connection_t* connection) {
  const xcb_atom_t atom = clipboard_atom(connection);
  xcb_get_selection_owner_reply_t* reply =
      atom == XCB_ATOM_NONE ? nullptr
                            : xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom), nullptr);
  if (reply == nullptr) {
    return {Holder::Nobody, XCB_WINDOW_NONE};  // the connection is gone: we serve nobody
  }
  const xcb_window_t owner = reply->owner;
  std::free(reply);
  if (owner == XCB_WINDOW_NONE) {
    return {Holder::Nobody, owner};
  }
  const xcb_setup_t* setup = xcb_get_setup(connection);
  return {(owner & ~setup->resource_id_mask) == setup->resource_id_base ? Holder::Us : Holder::Other, owner};
}

#endif

}  // namespace

bool owned() {
  if (QCoreApplication::instance() == nullptr) {
    return false;
  }
#ifdef KESTROVA_ASK_X11
  if (xcb_connection_t* connection = x11_connection()) {
    return x11_owner(connection).holder == Holder::Us;
  }
#endif
  return QGuiApplication::clipboard()->ownsClipboard();
}

void set_text(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  // A file name that is no UTF-8 (Latin-1, Shift_JIS) holds an escape for
  // each of its bytes, which Qt's conversion of the text would turn into
  // U+FFFD: such a copy offers the bytes themselves, as the file system
  // holds them.
  const bool escapes = std::any_of(text.begin(), text.end(),
                                   [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; });
  QByteArray bytes;
  if (escapes) {
    const std::string utf8 = to_utf8(to_text(text));
    bytes = QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size()));
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/plain;charset=utf-8"), bytes);
    data->setData(QStringLiteral("text/plain"), bytes);
    clipboard->setMimeData(data);
  } else {
    clipboard->setText(text);
  }
#ifdef KESTROVA_ASK_X11
  if (xcb_connection_t* connection = x11_connection()) {
    // Nobody may hold it for a moment while an owner is being replaced.
    const QDeadlineTimer grace(1000);
    for (;;) {
      const Owner owner = x11_owner(connection);
      if (owner.holder == Holder::Us) {
        return;
      }
      // Another owner at once: a newer start's keeper, or a program that
      // holds our very text, keeps the copy; anything else took it away.
      if (owner.holder == Holder::Other) {
        if (x11::keeps_copy(owner.window, to_text(text))) {
          return;
        }
        throw CopyTakenOver("cannot set the clipboard: another program put something else on it at once");
      }
      if (grace.hasExpired()) {
        refused();
      }
      QThread::msleep(10);
    }
  }
#endif
  const QMimeData* now = clipboard->mimeData();
  if (escapes ? now == nullptr || now->data(QStringLiteral("text/plain;charset=utf-8")) != bytes
              : clipboard->text() != text) {
    refused();
  }
}

}  // namespace kestrova::clipboard
