// A helper of the screenshot test (theme_test.sh), two tools in one program:
//
//   theme_probe contrast PNG X Y W H
//                                  prints the contrast ratio between the dark
//                                  and the light end of the pixels in that
//                                  rectangle of the image
//   theme_probe window-lightness   prints the lightness (0 to 100) of the
//                                  desktop palette's window colour
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/qt/form_window.h"

namespace {

// Text pixels are few and their edges blend into the background, so the
// darkest and lightest few per mille stand for the two colours; a lone
// stray pixel does not.
constexpr double kOutliers = 0.005;

int contrast(const char* file, const QRect& rect) {
  const QImage image = QImage(QString::fromLocal8Bit(file)).copy(rect);
  if (image.isNull() || image.size() != rect.size()) {
    std::fprintf(stderr, "theme_probe: cannot read %s or crop it to the rectangle\n", file);
    return 2;
  }
  std::vector<QColor> pixels;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      pixels.push_back(image.pixelColor(x, y));
    }
  }
  std::sort(pixels.begin(), pixels.end(), [](const QColor& a, const QColor& b) {
    return kestrova::relative_luminance(kestrova::rgb_of(a)) < kestrova::relative_luminance(kestrova::rgb_of(b));
  });
  const auto at = [&](double share) {
    return pixels[static_cast<std::size_t>(share * static_cast<double>(pixels.size() - 1))];
  };
  std::printf("%.2f\n", kestrova::contrast_ratio(kestrova::rgb_of(at(kOutliers)), kestrova::rgb_of(at(1.0 - kOutliers))));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && QByteArray(argv[1]) == "window-lightness") {
    const QApplication app(argc, argv);
    std::printf("%d\n", QApplication::palette().color(QPalette::Window).lightness() * 100 / 255);
    return 0;
  }
  if (argc == 7 && QByteArray(argv[1]) == "contrast") {
    return contrast(argv[2],
                    QRect(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])));
  }
  std::fprintf(stderr, "usage: theme_probe contrast PNG X Y W H | window-lightness\n");
  return 2;
}
