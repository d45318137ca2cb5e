// The clipboard on X11 without a widget toolkit: the copy of a start that
// shows no window. The text is kept by a small process of its own, forked
// once the X server has made us the owner, which answers other programs'
// requests until another program takes the clipboard over.
#pragma once

#include "text/text.h"

namespace kestrova::x11 {

// Whether the windowing platform of this start is X11 (an X display, and
// no other platform asked for): only then may the copy go through here.
bool is_platform();

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

namespace kestrova {

// For a process that goes on serving the clipboard once its caller saw the
// program end: it leaves the caller's terminal, pipes, session and folder,
// so that nothing waits on it and no folder stays busy.
void detach_from_caller();

}  // namespace kestrova
