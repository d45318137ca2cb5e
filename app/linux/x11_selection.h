// The clipboard on X11 without a widget toolkit: the copy of a start that
// shows no window. The text is kept by a small process of its own, forked
// once the X server has made us the owner, which answers other programs'
// requests until another program takes the clipboard over.
#pragma once

#include <cstdint>
#include <functional>
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
// a keeper process serving it, detached from the caller, unless another
// owner keeps it for us (copy_stands decides). Throws PlatformError when the
// display cannot be opened, the keeper cannot be started, or copy_stands
// finds the copy lost.
//
// After it, this process must not end the keeper's connection: it leaves
// the display only by exiting.
void copy(const Text& text);

// For a copy of `text` made another way (Qt's clipboard), by windows that
// `ours` tells: copy_stands on X11. True when our window holds the clipboard.
bool settle_copy(const std::function<bool(std::uint32_t)>& ours, const Text& text);

}  // namespace kestrova::x11
