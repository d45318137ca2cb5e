#include "app/qt/contrast.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

double linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

}  // namespace

double relative_luminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = relative_luminance(a);
  const double lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legible_on(const QColor& background, const QColor& preferred) {
  if (contrast_ratio(background, preferred) >= kLegibleContrast) {
    return preferred;
  }
  const QColor black(Qt::black);
  const QColor white(Qt::white);
  return contrast_ratio(background, black) >= contrast_ratio(background, white) ? black : white;
}

}  // namespace kestrova
