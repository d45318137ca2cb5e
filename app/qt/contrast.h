// Text contrast as WCAG 2 measures it, and the choice of a text colour that
// stays legible on a background the program fixes while the desktop theme
// supplies the rest of the palette.
#pragma once

#include <QColor>

namespace kestrova {

// The least contrast at which normal-sized text counts as legible (WCAG AA).
inline constexpr double kLegibleContrast = 4.5;

// Relative luminance of an sRGB colour: 0 for black to 1 for white.
double relative_luminance(const QColor& colour);

// Contrast ratio of two colours, 1 (none) to 21 (black on white), either order.
double contrast_ratio(const QColor& a, const QColor& b);

// `preferred` when it reaches kLegibleContrast on `background`; otherwise
// black or white, whichever contrasts more.
QColor legible_on(const QColor& background, const QColor& preferred);

}  // namespace kestrova
