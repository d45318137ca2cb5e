#include <filesystem>
#include <system_error>

#include "app/form.h"

namespace kestrova {

void change_to_program_folder(const Text& folder) {
  std::error_code error;
  std::filesystem::current_path(std::filesystem::path(folder), error);
  if (error) {
    throw PlatformError("cannot change to the program's folder " + to_utf8(folder) + ": " + error.message());
  }
}

}  // namespace kestrova
