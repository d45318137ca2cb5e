// A copy made from the window, kept by a process that owes the window
// nothing. The window runs Qt with its threads and tens of megabytes; a
// keeper forked from it would carry all that for as long as the clipboard
// holds the text, and in a process with threads only async-signal-safe
// calls are sound between fork and exec anyway. So the window starts this
// program afresh, hands it the text and the route over a socket, and waits
// for its word: that process copies through the same keeper a windowless
// start uses, answers whether the copy held, and ends, leaving its keeper.
#pragma once

#include <chrono>
#include <optional>

#include "app/linux/selection.h"
#include "text/text.h"

namespace kestrova {

// How long the window waits for that process's word before it ends it.
inline constexpr std::chrono::seconds kHandedCopyBound{5};

// Copies `text` through a fresh process of the program on `route` (not
// Qt's). Throws PlatformError with that process's message when the copy did
// not happen (CopyTakenOver when another program took it over at once), or
// when no answer came within `bound`: that process is then ended.
// Returns once that process has ended: nothing is left to reap.
void copy_in_fresh_process(ClipboardRoute route, const Text& text,
                           std::chrono::milliseconds bound = kHandedCopyBound);

// Empties the clipboard the same way, from a process whose connection is as
// new as the clear (an X11 clear is dated by its connection). Throws as
// copy_in_fresh_process does.
void clear_in_fresh_process(ClipboardRoute route);

// In a process started by copy_in_fresh_process: does the copy, answers and
// returns the exit status. Empty in any other start (the marker is absent,
// or it names no socket of the process that started this one): the start
// goes on as usual. Removes the marker either way, so that nothing started
// later inherits it.
std::optional<int> run_handed_copy(int argc);

}  // namespace kestrova
