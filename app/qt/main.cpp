#include <cstdio>
#include <exception>

#include "app/form.h"
#include "app/qt/windowless.h"
#include "app/qt/x11_selection.h"

int main(int argc, char** argv) {
  using namespace kestrova;
  try {
    return x11::is_platform() ? run_windowless(argc, argv) : run_on_qt(argc, argv);
  } catch (const std::exception& failure) {
    // Only when not even a message box can be had.
    std::fprintf(stderr, "kestrova: %s\n", failure.what());
    return kPlatformFailureStatus;
  }
}
