// The clipboard of a start that holds it without the widget toolkit. A copy
// is served by a small process of its own, forked once the windowing system
// has made us the owner, which answers other programs' pastes until another
// program copies something. Two keepers do it: one on X11 (x11_selection),
// one on a Wayland compositor that offers data control (wayland_selection);
// the start picks one from what its session offers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "text/text.h"

namespace kestrova {

class SelectionKeeper {
 public:
  virtual ~SelectionKeeper() = default;

  // Empties the clipboard. Throws PlatformError when the windowing system
  // cannot be reached or refuses.
  virtual void clear() = 0;

  // Puts exactly `text` on the clipboard in place of whatever was there, in
  // one step (nobody sees it empty in between, so no clear comes first), and
  // leaves a keeper process serving it, detached from the caller. When
  // another program took the clipboard over before the windowing system
  // confirmed ours, counts as done only with evidence: that program is a
  // keeper of a newer start of this program, or it holds this very text.
  // Throws PlatformError when the copy did not happen, or another program
  // put something else on the clipboard at once.
  virtual void copy(const Text& text) = 0;
};

// The marks by which a start knows another start's copy: the WM_CLASS of an
// X11 keeper's window (two strings, each ending in a NUL), and the MIME type
// that a data-control keeper offers besides the text (with nothing behind it).
inline constexpr char kKeeperWindowClass[] = "kestrova-clipboard\0Kestrova";
inline constexpr char kKeeperMimeType[] = "application/x-kestrova-copy";

// Who holds the clipboard right after a copy was sent, before the windowing
// system confirmed it: the copy itself, another start's keeper (its mark),
// another program, or nobody (also an owner gone before it could be asked).
enum class Holder { Copy, Keeper, Other, Nobody };
// What another program's copy gives when asked for the text as UTF-8:
// exactly our text, something else (a refusal included), or no answer.
enum class Answer { Same, Different, None };

// The one rule by which every copy decides whether it stands when another
// owner may have replaced it at once. `look` says who holds the clipboard now
// (called again while nobody does or the holder gave no answer, each call
// asking the windowing system anew), `ask` what another program gives. True:
// the copy holds the clipboard and must be served. False: another owner keeps
// it for us, a newer start's keeper or a program that answers with this very
// text (a clipboard manager). Throws CopyTakenOver when another program put
// something else on it, or when for a second nobody holds it or its holder
// does not answer.
bool copy_stands(const std::function<Holder()>& look, const std::function<Answer()>& ask);

// Where the copies of a start go: through one of the two data-control
// protocols of a Wayland compositor, through X11, or through Qt, which on a
// Wayland compositor without data control copies only from its own window.
enum class ClipboardRoute { ExtDataControl, WlrDataControl, X11, Qt };

// What a start knows of its session: WAYLAND_DISPLAY, DISPLAY and
// QT_QPA_PLATFORM, empty where unset.
struct Session {
  std::string wayland_display;
  std::string display;
  std::string qt_platform;
};

Session session_from_environment();

// Whether the compositor is worth asking what it offers: there is one, and
// no platform other than Wayland or X11 was asked for.
bool asks_compositor(const Session& session);

// The route for `session`, given the interfaces its compositor offers
// (`offered` is nullptr when none was asked or none answered).
ClipboardRoute choose_route(const Session& session, const std::vector<std::string>* offered);

// Whether Qt will find a display for a box, the window or its clipboard:
// one was named and answers, or a platform of Qt's own was asked for.
// Without one Qt ends the whole process (SIGABRT) with a hint to reinstall.
bool display_for_qt(const Session& session);
// What a start says when display_for_qt finds none.
inline constexpr const char* kNoDisplay =
    "no display answers (neither Wayland nor X11): nothing can be copied or shown";

// This start's route and, unless it is Qt's, its keeper.
struct Clipboard {
  ClipboardRoute route = ClipboardRoute::Qt;
  std::unique_ptr<SelectionKeeper> keeper;
};
Clipboard choose_clipboard();

// For a process that goes on serving the clipboard once its caller saw the
// program end: it leaves the caller's terminal, pipes, session and folder,
// so that nothing waits on it and no folder stays busy.
void detach_from_caller();

// For a keeper: closes every descriptor above the standard three but those
// in `kept`, so that no window, pipe or connection of the process it was
// forked from outlives that process through it.
void close_descriptors_except(const std::vector<int>& kept);

// The text as ISO 8859-1, what X11's STRING asks for; a character beyond it
// becomes '?'.
std::string to_latin1(const Text& text);

}  // namespace kestrova
