// The clipboard on X11 without a widget toolkit: the copy of a start that
// shows no window. The text is kept by a small process of its own, forked
// once the X server has made us the owner, which answers other programs'
// requests until another program takes the clipboard over.
#pragma once

#include <cstdint>
#include <memory>

#include "app/linux/selection.h"
#include "text/text.h"

namespace kestrova::x11 {

// The keeper behind SelectionKeeper: clear_clipboard and copy below.
std::unique_ptr<SelectionKeeper> keeper();

// Whether the X server that DISPLAY names accepts a connection.
bool display_answers();

// Empties the clipboard: nobody owns it afterwards, unless another program
// takes it at once. Throws PlatformError when the display cannot be opened.
void clear_clipboard();

// Puts exactly `text` on the clipboard with one SetSelectionOwner and leaves
// a keeper process serving it, detached from the caller. Counts as done when
// a window of a newer start's keeper (kKeeperWindowClass) took the clipboard
// meanwhile, or another owner that answers with this very text (a manager
// that keeps copies alive). Throws PlatformError when the display cannot be
// opened, the keeper cannot be started, another owner holds other text, or
// nobody holds the clipboard afterwards (after a short grace for an owner
// that is being replaced).
//
// After it, this process must not end the keeper's connection: it leaves
// the display only by exiting.
void copy(const Text& text);

// For a copy made another way (Qt's clipboard) that found the window `owner`
// holding the clipboard at once: whether that counts as our copy kept, as
// copy() counts it (a newer start's keeper, or an owner that answers with
// this very text).
bool keeps_copy(std::uint32_t owner, const Text& text);

}  // namespace kestrova::x11
