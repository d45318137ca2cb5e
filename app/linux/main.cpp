#include <cstdio>
#include <exception>

#include "app/form.h"
#include "app/linux/handed_copy.h"
#include "app/linux/selection.h"
#include "app/linux/windowless.h"

int main(int argc, char** argv) {
  using namespace kestrova;
  if (const std::optional<int> status = run_handed_copy(argc)) {
    return *status;  // a copy the window handed over, now kept
  }
  try {
    Clipboard clipboard = choose_clipboard();
    if (clipboard.keeper == nullptr && !display_for_qt(session_from_environment())) {
      // Qt would end the process with a hint to reinstall it.
      throw PlatformError(kNoDisplay);
    }
    return clipboard.keeper != nullptr ? run_windowless(argc, argv, clipboard) : run_on_qt(argc, argv);
  } catch (const std::exception& failure) {
    // Only when not even a message box can be had.
    std::fprintf(stderr, "kestrova: %s\n", failure.what());
    return kPlatformFailureStatus;
  }
}
