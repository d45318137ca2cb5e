// The clipboard as the windowing system sees it, which is not always what Qt
// believes. Many copies of the program may start at once (a file manager
// starts one per selected file), and on X11 the server refuses a new owner
// whose timestamp is older than the selection's last change. Qt's xcb
// clipboard does not notice the refusal: it goes on believing it owns the
// clipboard, never hears that it lost it, and reads back the newer text.
#pragma once

#include <QString>

namespace kestrova::clipboard {

// Whether this process holds the clipboard now. On X11 the X server is asked
// who owns the CLIPBOARD selection (a window of this client or not); on other
// platforms Qt's own view, which on Wayland follows the compositor's word
// (a data source stays ours until the compositor cancels it).
bool owned();

// Puts exactly `text` on the clipboard in place of what it held, with one
// call of Qt's clipboard (one change of owner). On X11 another owner found at
// once counts as our copy kept only when it is a newer start's keeper or
// holds this very text (x11::keeps_copy). Throws PlatformError when the copy
// did not happen: on X11 when another owner holds other text, or nobody holds
// the clipboard afterwards (after a short grace for an owner being
// replaced); elsewhere when the clipboard reads back different.
void set_text(const QString& text);

}  // namespace kestrova::clipboard
