// A Wayland program that drags files, as a file manager does: pressed
// anywhere, it starts a drag of the file URLs of its arguments.
// Usage: drag_source PATH...
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
 public:
  explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) { setWindowTitle(QStringLiteral("drag_source")); }

 protected:
  void mousePressEvent(QMouseEvent* /*event*/) override {
    auto* data = new QMimeData;
    data->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
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
