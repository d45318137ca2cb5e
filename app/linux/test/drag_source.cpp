// Stands in for a file manager in the end-to-end tests (X11, Wayland, and
// onto Wine's windows): a window that, pressed with the mouse, drags the
// file URLs of its arguments (or, after --text, that text) and prints
// "copied" once a target took them as a copy ("refused" otherwise), and
// "accepted" before that, as soon as the target under the pointer says it
// will take a copy.
// The target reads the data after the drop, so the program stays up to
// serve it until the test ends it.
// Usage: drag_source PATH... | drag_source --text TEXT
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>
#include <cstdio>

namespace {

class DragSource : public QWidget {
 public:
  DragSource(QByteArray uri_list, QString text) : uri_list_(std::move(uri_list)), text_(std::move(text)) {
    setWindowTitle(QStringLiteral("drag_source"));
    resize(120, 80);
  }

 protected:
  void mousePressEvent(QMouseEvent* /*event*/) override {
    auto* data = new QMimeData;
    uri_list_.isEmpty() ? data->setText(text_) : data->setData(QStringLiteral("text/uri-list"), uri_list_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    QObject::connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
      if (action == Qt::CopyAction) {
        std::printf("accepted\n");
        std::fflush(stdout);
      }
    });
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("%s\n", action == Qt::CopyAction ? "copied" : "refused");
    std::fflush(stdout);
  }

 private:
  QByteArray uri_list_;
  QString text_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList arguments = QApplication::arguments().mid(1);
  // The URLs from the arguments' bytes, as a file manager writes them: a
  // name that is no UTF-8 is dragged as the file system spells it.
  QByteArray uri_list;
  for (int i = 1; i < argc; ++i) {
    uri_list += "file://" + QByteArray(argv[i]).toPercentEncoding("/") + "\r\n";
  }
  const bool text = arguments.size() == 2 && arguments[0] == QStringLiteral("--text");
  DragSource source(text ? QByteArray() : uri_list, text ? arguments[1] : QString());
  source.show();
  return QApplication::exec();
}
