// The clipboard on X11 without a widget toolkit: the copy of a start that
// shows no window. The text is kept by a small process of its own, forked
// once the X server has made us the owner, which answers other programs'
// requests until another program takes the clipboard over.
#pragma once

#include <memory>

#include "app/linux/selection.h"
#include "text/text.h"

namespace kestrova::x11 {

// The keeper behind SelectionKeeper: clear_clipboard and copy below.
std::unique_ptr<SelectionKeeper> keeper();

// Empties the clipboard: nobody owns it afterwards, unless another program
// takes it at once. Throws PlatformError when the display cannot be opened.
void clear_clipboard();

// Puts exactly `text` on the clipboard and leaves a keeper process serving
// it, detached from the caller. Counts as done when another program took the
// clipboard meanwhile (a newer copy supersedes ours). Throws PlatformError
// when the display cannot be opened, the keeper cannot be started, or nobody
// holds the clipboard afterwards (after a short grace for a racing copy that
// is between its clear and its set).
//
// After it, this process must not end the keeper's connection: it leaves
// the display only by exiting.
void copy(const Text& text);

}  // namespace kestrova::x11
