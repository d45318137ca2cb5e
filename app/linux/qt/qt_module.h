// The Qt front end as a module of its own (kestrova-qt.so), loaded only when
// a start needs a window or a message box, so that a copy that shows neither
// never loads the widget toolkit or its fonts.
#pragma once

namespace kestrova {
class FormView;
}

extern "C" {

// The whole program on Qt, as main() always ran it: for every start that
// cannot copy without a window (Wayland, other platforms).
using kestrova_qt_main_fn = int (*)(int argc, char** argv);

// Starts Qt in the middle of a start: the keeper of Qt's clipboard (see
// platform::ClipboardKeeper), the application and the window, hidden.
// Returns the window. `program_path` names the executable.
using kestrova_qt_window_fn = kestrova::FormView* (*)(char* program_path);

// Reports `status` to the keeper and ends the process (see
// platform::ClipboardKeeper::finish).
using kestrova_qt_finish_fn = int (*)(int status);
}
