// Starts of the program that load Qt only when they need it. On X11 the
// start runs on a view of its own that holds the caption and the check
// boxes itself and copies through x11_selection; only a message box or the
// window loads the Qt module, which then takes over from that view. Every
// other start runs wholly on Qt, from the module.
#pragma once

namespace kestrova {

// The program on X11, Qt loaded at need. Returns the exit status.
int run_windowless(int argc, char** argv);

// The program wholly on Qt. Returns the exit status.
int run_on_qt(int argc, char** argv);

}  // namespace kestrova
