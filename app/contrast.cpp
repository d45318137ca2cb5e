#include "app/contrast.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

double linear(std::uint8_t channel) {
  const double value = channel / 255.0;
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

// Relative luminance of an sRGB colour: 0 for black to 1 for white.
double relative_luminance(Rgb colour) {
  return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) + 0.0722 * linear(colour.blue);
}

}  // namespace

double contrast_ratio(Rgb a, Rgb b) {
  const double la = relative_luminance(a);
  const double lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb legible_on(Rgb background, Rgb preferred) {
  if (contrast_ratio(background, preferred) >= kLegibleContrast) {
    return preferred;
  }
  return contrast_ratio(background, kBlack) >= contrast_ratio(background, kWhite) ? kBlack : kWhite;
}

}  // namespace kestrova
