// Text contrast as WCAG 2 measures it, and the choice of a text colour that
// stays legible on a background the program fixes while the desktop theme
// supplies the rest. Both front ends draw with it.
#pragma once

#include <cstdint>

namespace kestrova {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};

// The least contrast at which normal-sized text counts as legible (WCAG AA).
inline constexpr double kLegibleContrast = 4.5;

// Contrast ratio of two colours, 1 (none) to 21 (black on white), either order.
double contrast_ratio(Rgb a, Rgb b);

// `preferred` when it reaches kLegibleContrast on `background`; otherwise
// black or white, whichever contrasts more.
Rgb legible_on(Rgb background, Rgb preferred);

}  // namespace kestrova
