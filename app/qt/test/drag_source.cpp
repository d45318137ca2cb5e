// Stands in for a file manager in the end-to-end tests: a window that,
// pressed with the mouse, drags the file URLs of its arguments and prints
// "copied" once a target took them as a copy ("refused" otherwise).
// The target reads the data after the drop, so the program stays up to
// serve it until the test ends it.
// Usage: drag_source PATH...
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class DragSource : public QWidget {
 public:
  explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
    setWindowTitle(QStringLiteral("drag_source"));
    resize(120, 80);
  }

 protected:
  void mousePressEvent(QMouseEvent* /*event*/) override {
    auto* data = new QMimeData;
    data->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("%s\n", action == Qt::CopyAction ? "copied" : "refused");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  for (const QString& path : QApplication::arguments().mid(1)) {
    urls << QUrl::fromLocalFile(path);
  }
  DragSource source(urls);
  source.show();
  return QApplication::exec();
}
