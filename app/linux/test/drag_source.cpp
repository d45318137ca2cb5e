// Stands in for a file manager in the end-to-end tests (X11, Wayland, and
// onto Wine's windows): a window that, pressed with the mouse, drags the
// file URLs of its arguments (or, after --text, that text) and prints
// "copied" once a target took them as a copy ("refused" otherwise).
// The target reads the data after the drop, so the program stays up to
// serve it until the test ends it.
// Usage: drag_source PATH... | drag_source --text TEXT
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
  DragSource(QList<QUrl> urls, QString text) : urls_(std::move(urls)), text_(std::move(text)) {
    setWindowTitle(QStringLiteral("drag_source"));
    resize(120, 80);
  }

 protected:
  void mousePressEvent(QMouseEvent* /*event*/) override {
    auto* data = new QMimeData;
    urls_.isEmpty() ? data->setText(text_) : data->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("%s\n", action == Qt::CopyAction ? "copied" : "refused");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
  QString text_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList arguments = QApplication::arguments().mid(1);
  QList<QUrl> urls;
  for (const QString& path : arguments) {
    urls << QUrl::fromLocalFile(path);
  }
  const bool text = arguments.size() == 2 && arguments[0] == QStringLiteral("--text");
  DragSource source(text ? QList<QUrl>() : urls, text ? arguments[1] : QString());
  source.show();
  return QApplication::exec();
}
