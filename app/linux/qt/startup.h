// Runs the program once its QApplication exists.
#pragma once

#include <QString>

#include "app/form.h"

namespace kestrova {

// Starts Kestrova with its command `line`:
// loads the settings beside `executable_path` (or in the per-user folder),
// then either copies the command line's paths and returns, or shows the
// window and runs the
// event loop until it is closed. Returns the exit status: 0 when the work is
// done, kSettingsErrorStatus after a settings error, kPlatformFailureStatus
// after a failure that was reported in a message box.
int run_program(const CommandLine& line, const QString& executable_path);

// What every start does to its QApplication before a window or a box: the
// program's icon, and no quitting when the last window closes (the
// behaviour decides when the program ends).
void prepare_application();

}  // namespace kestrova
