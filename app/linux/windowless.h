// Starts of the program that load Qt only when they need it. Where a keeper
// of our own can hold the clipboard (X11, or a Wayland compositor with data
// control), the start runs on a view of its own that holds the caption and
// the check boxes itself and copies through that keeper; only a message box
// or the window loads the Qt module, which then takes over the rest from
// that view. Every other start runs wholly on Qt, from the module.
#pragma once

#include "app/linux/selection.h"

namespace kestrova {

// The program with `clipboard` (which has a keeper), Qt loaded at need.
// Returns the exit status.
int run_windowless(int argc, char** argv, const Clipboard& clipboard);

// The program wholly on Qt. Returns the exit status.
int run_on_qt(int argc, char** argv);

}  // namespace kestrova
