#include "app/linux/qt/form_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "app/linux/qt/clipboard.h"

namespace kestrova {

namespace {

int px(int twips) { return qRound(twips / FormWindow::kTwipsPerPixel); }

QRect twips_rect(int left, int top, int width, int height) {
  return {px(left), px(top), px(width), px(height)};
}

// What the list holds, for screen readers.
constexpr char16_t kListAccessibleName[] = u"ドロップしたファイルのパス";

constexpr QPalette::ColorGroup kColourGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

// The desktop theme supplies every colour the window does not fix, so a
// fixed background gets its text fixed too: the theme's own when it is
// legible there, else black or white. Set explicitly, the pair also stays
// together when the desktop's palette changes later.
void set_text_for(QPalette& palette, QPalette::ColorRole background, QPalette::ColorRole text) {
  for (const QPalette::ColorGroup group : kColourGroups) {
    palette.setColor(group, background, palette.color(group, background));
    const Rgb legible = legible_on(rgb_of(palette.color(group, background)), rgb_of(palette.color(group, text)));
    palette.setColor(group, text, QColor(legible.red, legible.green, legible.blue));
  }
}

void set_background(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  set_text_for(palette, QPalette::Window, QPalette::WindowText);
  set_text_for(palette, QPalette::Window, QPalette::ButtonText);
  widget->setPalette(palette);
  widget->setBackgroundRole(QPalette::Window);
  widget->setAutoFillBackground(true);
}

// A file URL names a file on this machine when it has no host or the host
// localhost; other hosts (and other schemes) are not local files.
bool local_path(QUrl url, QString* path) {
  if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
    return false;
  }
  if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
    url.setHost(QString());
  }
  if (!url.host().isEmpty() || !url.isLocalFile()) {
    return false;
  }
  *path = QDir::toNativeSeparators(url.toLocalFile());
  return !path->isEmpty();
}

bool is_escape(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The bytes of a local file URL's path, percent-decoded; nothing for another
// scheme, another host, or an encoding that is not the form file URLs take.
std::optional<std::string> local_path_bytes(const QByteArray& uri) {
  constexpr char kScheme[] = "file:";
  std::string_view rest(uri.constData(), static_cast<std::size_t>(uri.size()));
  if (!uri.toLower().startsWith(kScheme)) {
    return std::nullopt;
  }
  rest.remove_prefix(sizeof kScheme - 1);
  if (rest.starts_with("//")) {
    const std::size_t slash = rest.find('/', 2);
    const QByteArray host(rest.data() + 2, static_cast<qsizetype>(std::min(slash, rest.size()) - 2));
    if (slash == std::string_view::npos || !(host.isEmpty() || host.toLower() == "localhost")) {
      return std::nullopt;
    }
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with('/')) {
    return std::nullopt;
  }
  const QByteArray decoded =
      QByteArray::fromPercentEncoding(QByteArray(rest.data(), static_cast<qsizetype>(rest.size())));
  return std::string(decoded.constData(), static_cast<std::size_t>(decoded.size()));
}

}  // namespace

void DropList::dragEnterEvent(QDragEnterEvent* event) {
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void DropList::dragMoveEvent(QDragMoveEvent* event) {
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void DropList::dropEvent(QDropEvent* event) {
  // A copy, never a move: the source keeps its files and its text.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  emit dropped(event->mimeData());
}

std::vector<Text> dropped_files(const QMimeData* data) {
  std::vector<Text> paths;
  if (data == nullptr || !data->hasUrls()) {
    return paths;
  }
  // Qt decodes a file URL's bytes as UTF-8 and makes U+FFFD of any that are
  // not (a Latin-1 or Shift_JIS name): those names are read from the URI
  // list itself, byte for byte; the others as Qt reads them.
  const QByteArray list = data->data(QStringLiteral("text/uri-list"));
  for (const QByteArray& line : list.split('\n')) {
    const QByteArray uri = line.trimmed();
    if (uri.isEmpty() || uri.startsWith('#')) {
      continue;
    }
    if (const auto bytes = local_path_bytes(uri)) {
      Text path = from_utf8(*bytes);
      if (std::any_of(path.begin(), path.end(), is_escape)) {
        paths.push_back(std::move(path));
        continue;
      }
    }
    QString path;
    if (local_path(QUrl::fromEncoded(uri), &path)) {
      paths.push_back(to_text(path));
    }
  }
  return paths;
}

FormWindow::FormWindow() {
  setObjectName(QStringLiteral("oledrag_form"));
  setWindowTitle(QStringLiteral("Kestrova"));
  build_controls();
}

void FormWindow::build_controls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  set_background(this, Qt::white);
  set_background(client, Qt::white);

  // No menu of the desktop's own: the two commands sit in the window, as
  // the layout below expects.
  menuBar()->setNativeMenuBar(false);
  // The bar lies on the white window, a pressed command on the selection colour.
  set_background(menuBar(), Qt::white);
  QPalette menu_palette = menuBar()->palette();
  set_text_for(menu_palette, QPalette::Highlight, QPalette::HighlightedText);
  menuBar()->setPalette(menu_palette);
  MENU_HELP = menuBar()->addAction(QStringLiteral("HELP"));
  MENU_CLEAR = menuBar()->addAction(QStringLiteral("CLEAR"));
  MENU_HELP->setObjectName(QStringLiteral("MENU_HELP"));
  MENU_CLEAR->setObjectName(QStringLiteral("MENU_CLEAR"));
  connect(MENU_HELP, &QAction::triggered, this, [this] { if (form_ != nullptr) { form_->MENU_HELP_Click(); } });
  connect(MENU_CLEAR, &QAction::triggered, this, [this] { if (form_ != nullptr) { form_->MENU_CLEAR_Click(); } });

  const QColor highlight_3d = palette().color(QPalette::Light);
  const QColor active_title = palette().color(QPalette::Highlight);
  const auto make_check = [&](const char* name, const char16_t* caption, QRect rect, const QColor& colour) {
    auto* box = new QCheckBox(QString::fromUtf16(caption), client);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(rect);
    set_background(box, colour);
    return box;
  };
  Check_CRLF = make_check("Check_CRLF", u"CRLFをつける", twips_rect(240, 480, 1575, 255), highlight_3d);
  Check_drive = make_check("Check_drive", u"DRIVE-CHG有効", twips_rect(2160, 480, 1815, 255), active_title);
  Check_TAG = make_check("Check_TAG", u"タグ<　>を前後につける", twips_rect(4320, 480, 2415, 255), highlight_3d);

  List1 = new DropList(client);
  List1->setObjectName(QStringLiteral("List1"));
  // A screen reader says this instead of a bare "list"; Japanese like the
  // check boxes' captions.
  List1->setAccessibleName(QString::fromUtf16(kListAccessibleName));
  List1->setGeometry(twips_rect(120, 1200, 7455, 2400));
  List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  List1->setUniformItemSizes(true);
  List1->setAcceptDrops(true);
  QPalette list_palette = List1->palette();
  list_palette.setColor(QPalette::Base, QColor(192, 255, 255));
  set_text_for(list_palette, QPalette::Base, QPalette::Text);
  set_text_for(list_palette, QPalette::Highlight, QPalette::HighlightedText);
  List1->setPalette(list_palette);

  setTabOrder(List1, Check_CRLF);
  setTabOrder(Check_CRLF, Check_TAG);
  setTabOrder(Check_TAG, Check_drive);

  connect(List1, &DropList::dropped, this, [this](const QMimeData* data) {
    if (form_ != nullptr) {
      form_->List1_OLEDragDrop(dropped_files(data));
    }
  });
  // Every selection change copies; so does a click that changes nothing,
  // which the press filter below tells apart.
  connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
    selection_changed_since_press_ = true;
    if (form_ != nullptr) {
      form_->List1_Click();
    }
  });
  connect(List1, &QAbstractItemView::pressed, this, [this] {
    if (!selection_changed_since_press_ && form_ != nullptr) {
      form_->List1_Click();
    }
  });
  List1->viewport()->installEventFilter(this);

  setAcceptDrops(true);
  // The client area as designed is 8070 x 3930 twips; the menu bar comes on top.
  resize(px(8070), px(3930) + menuBar()->sizeHint().height());
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == List1->viewport() && event->type() == QEvent::MouseButtonPress) {
    selection_changed_since_press_ = false;
  }
  return QMainWindow::eventFilter(watched, event);
}

int FormWindow::check_state(CheckBox which) const { return box(which)->isChecked() ? 1 : 0; }

void FormWindow::set_checked(CheckBox which, bool ticked) { box(which)->setChecked(ticked); }

Text FormWindow::list_entry(std::size_t index) const {
  return to_text(List1->item(static_cast<int>(index))->text());
}

void FormWindow::write_list_entry(std::size_t index, const Text& text) {
  const QSignalBlocker quiet(List1);
  if (index < list_count()) {
    List1->item(static_cast<int>(index))->setText(to_qstring(text));
  } else {
    List1->addItem(to_qstring(text));
  }
}

void FormWindow::write_list_entries(std::size_t first, const std::vector<Text>& texts) {
  // Replaced entries in place, the rest added in one insertion: a drop of
  // many files would otherwise insert row by row.
  const QSignalBlocker quiet(List1);
  std::size_t i = 0;
  for (; i < texts.size() && first + i < list_count(); ++i) {
    List1->item(static_cast<int>(first + i))->setText(to_qstring(texts[i]));
  }
  QStringList added;
  added.reserve(static_cast<qsizetype>(texts.size() - i));
  for (; i < texts.size(); ++i) {
    added << to_qstring(texts[i]);
  }
  List1->addItems(added);
}

void FormWindow::clear_list() {
  const QSignalBlocker quiet(List1);
  List1->clear();
}

std::vector<std::size_t> FormWindow::selected_entries() const {
  std::vector<char> selected(list_count(), 0);
  const QItemSelection selection = List1->selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    for (int row = range.top(); row <= range.bottom(); ++row) {
      selected[static_cast<std::size_t>(row)] = 1;
    }
  }
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < selected.size(); ++row) {
    if (selected[row] != 0) {
      rows.push_back(row);
    }
  }
  return rows;
}

void FormWindow::set_list_width_twips(float width) {
  List1->resize(qRound(width / kTwipsPerPixel), List1->height());
}

void FormWindow::set_list_height_twips(float height) {
  List1->resize(List1->width(), qRound(height / kTwipsPerPixel));
}

void FormWindow::clear_clipboard() { QGuiApplication::clipboard()->clear(); }

void FormWindow::set_clipboard_text(const Text& text) { clipboard::set_text(to_qstring(text)); }

bool FormWindow::copy_needs_user_input() const {
  // On Wayland a client may set the clipboard only in answer to an input
  // event on its own surface; a program that shows no window has none.
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void FormWindow::show_message(const Text& text, const std::function<void()>& on_ok) {
  show_message_box(to_qstring(text), isVisible() ? this : nullptr, on_ok);
}

void FormWindow::show_failure(const Text& text) { show_failure_box(to_qstring(text), isVisible() ? this : nullptr); }

void FormWindow::show_and_run() {
  show();
  running_ = true;
  QApplication::exec();
  running_ = false;
}

void FormWindow::end(int status) {
  hide();
  // Only inside the loop: an exit() outside it would also end the loop
  // that later keeps the clipboard alive.
  if (running_) {
    QCoreApplication::exit(status);
  }
}

void FormWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (form_ != nullptr) {
    form_->Form_Resize();
  }
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The behaviour decides, and hides the window through end().
  event->ignore();
  if (form_ != nullptr) {
    form_->Form_QueryUnload();
  } else {
    event->accept();
  }
}

void FormWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  }
}

void FormWindow::dropEvent(QDropEvent* event) {
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (form_ != nullptr) {
    form_->Form_OLEDragDrop();
  }
}

}  // namespace kestrova
