#include "app/qt/oledrag_form.h"

#include <QAction>
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

#include "app/qt/contrast.h"
#include "app/version.h"

namespace kestrova {

namespace {

constexpr TextView kFileNameMarker = u"$FILENAME$";

int px(int twips) { return qRound(twips / oledrag_form::kTwipsPerPixel); }

QRect twips_rect(int left, int top, int width, int height) {
  return {px(left), px(top), px(width), px(height)};
}

}  // namespace

int CheckBoxOptions::state_of(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;  // grayed: not on
    case Qt::Unchecked:
      break;
  }
  return 0;
}

namespace {

constexpr QPalette::ColorGroup kColourGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

// The desktop theme supplies every colour the window does not fix, so a
// fixed background gets its text fixed too: the theme's own when it is
// legible there, else black or white. Set explicitly, the pair also stays
// together when the desktop's palette changes later.
void set_text_for(QPalette& palette, QPalette::ColorRole background, QPalette::ColorRole text) {
  for (const QPalette::ColorGroup group : kColourGroups) {
    palette.setColor(group, background, palette.color(group, background));
    palette.setColor(group, text, legible_on(palette.color(group, background), palette.color(group, text)));
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

QString help_text() {
  static const char16_t* const pieces[] = {
      u"エクスプローラーのファイルを下の領域にドラッグ＆ドロップした後",
      u"クリックすると、クリップボードにパスがコピーされます。",
      u"（フォーム処理では複数可）　",
      u"ショートカットにドラッグドロップしてもパスがクリップボードにコピーされます。",
      u"（ショートカットにドラッグドロップでは複数不可）　",
  };
  QString text;
  for (const char16_t* piece : pieces) {
    text += QString::fromUtf16(piece) + QStringLiteral("\r\n");
  }
  return text;
}

oledrag_form::oledrag_form(AppHost& host, QString program_folder, QString executable_name)
    : host_(host), program_folder_(std::move(program_folder)), executable_name_(std::move(executable_name)) {
  setObjectName(QStringLiteral("oledrag_form"));
  setWindowTitle(QStringLiteral("Kestrova"));
  build_controls();
}

void oledrag_form::build_controls() {
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
  connect(MENU_HELP, &QAction::triggered, this, &oledrag_form::MENU_HELP_Click);
  connect(MENU_CLEAR, &QAction::triggered, this, &oledrag_form::MENU_CLEAR_Click);

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

  connect(List1, &DropList::dropped, this, &oledrag_form::List1_OLEDragDrop);
  // Every selection change copies; so does a click that changes nothing,
  // which the press filter below tells apart.
  connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
    selection_changed_since_press_ = true;
    List1_Click();
  });
  connect(List1, &QAbstractItemView::pressed, this, [this] {
    if (!selection_changed_since_press_) {
      List1_Click();
    }
  });
  List1->viewport()->installEventFilter(this);

  setAcceptDrops(true);
  // The client area as designed is 8070 x 3930 twips; the menu bar comes on top.
  resize(px(8070), px(3930) + menuBar()->sizeHint().height());
}

bool oledrag_form::eventFilter(QObject* watched, QEvent* event) {
  if (watched == List1->viewport() && event->type() == QEvent::MouseButtonPress) {
    selection_changed_since_press_ = false;
  }
  return QMainWindow::eventFilter(watched, event);
}

oledrag_form::Mode oledrag_form::Form_Load(const QString& command_line) {
  if (!QDir::setCurrent(program_folder_)) {
    throw PlatformError("cannot change to the program's folder " +
                        QDir::toNativeSeparators(program_folder_).toStdString());
  }
  files_ = FIND_option_file(host_);
  setWindowTitle(windowTitle() + QStringLiteral("  ") + executable_name_ + QStringLiteral("   ") +
                 QStringLiteral("Version:%1.%2.%3")
                     .arg(KESTROVA_VERSION_MAJOR)
                     .arg(KESTROVA_VERSION_MINOR)
                     .arg(KESTROVA_VERSION_PATCH));
  MAKE_default_option(host_, files_);
  const LoadedOptions loaded = get_option(host_, files_);
  DRIVE_CHG_SET = loaded.DRIVE_CHG_SET;
  CRLF_SET = loaded.CRLF_SET;
  TAG_SET = loaded.TAG_SET;
  drive_table_ = loaded.drive_table;

  Check_TAG->setChecked(TAG_SET == 1);
  Check_CRLF->setChecked(CRLF_SET == 1);
  Check_drive->setChecked(DRIVE_CHG_SET == 1);

  if (command_line.isEmpty()) {
    return Mode::Window;
  }
  run_command_line(command_line);
  return Mode::CommandLine;
}

void oledrag_form::run_command_line(const QString& command_line) {
  // On Wayland a client may set the clipboard only in answer to an input
  // event on its own surface. A program that shows no window has none, so
  // there the message box is shown in both modes and its OK copies again.
  const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  QGuiApplication::clipboard()->clear();
  const Text line = to_text(command_line);
  const auto marker = line.find(kFileNameMarker);
  QString copied;
  if (marker != Text::npos) {
    const Text rest = line.substr(marker + kFileNameMarker.size());
    Text folder;
    Text file;
    Text base;
    Text extension;
    Phase_PATH(rest, folder, file);
    Phase_file_name(file, base, extension);
    copied = to_qstring(base);
  } else {
    Text path = line;
    copied = to_qstring(EDIT_CLIP(path, 0, 0, drive_table_, options()));
  }
  set_clipboard_text(copied);
  if (marker == Text::npos || wayland) {
    show_message_box(QStringLiteral("CLIPBOAD COPIED=") + copied, nullptr, [wayland, copied] {
      if (wayland) {
        QGuiApplication::clipboard()->setText(copied);
      }
    });
  }
  close();
}

void oledrag_form::set_clipboard_text(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(text);
  if (clipboard->text() != text) {
    throw PlatformError("cannot set the clipboard: the windowing system did not accept the text");
  }
}

void oledrag_form::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Form_Resize();
}

void oledrag_form::Form_Resize() {
  // The rule works on the outer size, frame and menu bar included.
  const double outer_width = frameGeometry().width() * kTwipsPerPixel;
  list_width_twips_ = static_cast<float>(outer_width * 0.9);
  List1->resize(qRound(list_width_twips_ / kTwipsPerPixel), List1->height());
  const double outer_height = frameGeometry().height() * kTwipsPerPixel;
  list_height_twips_ = static_cast<float>(outer_height * 0.6);
  List1->resize(List1->width(), qRound(list_height_twips_ / kTwipsPerPixel));
}

void oledrag_form::MENU_HELP_Click() { show_message_box(help_text(), this); }

// It empties the window's list; that List1 is a pointer is all that would
// let it be const.
void oledrag_form::MENU_CLEAR_Click() {  // NOLINT(readability-make-member-function-const)
  // Clearing selects nothing; that is no click, so the clipboard stays.
  const QSignalBlocker quiet(List1);
  List1->clear();
}

void oledrag_form::List1_OLEDragDrop(const QMimeData* data) {
  QStringList paths;
  if (data != nullptr && data->hasUrls()) {
    const auto urls = data->urls();
    for (const QUrl& url : urls) {
      QString path;
      if (local_path(url, &path)) {
        paths << path;
      }
    }
  }
  if (paths.isEmpty()) {
    show_message_box(QStringLiteral("無選択です"), this);
    return;
  }
  if (drive_table_.DRIVE_CHG_cnt > 0 && options().Check_drive() == 1) {
    for (QString& path : paths) {
      path = to_qstring(DRIVE_CHG_edit(drive_table_, to_text(path)));
    }
  }
  // A drop writes from the top: existing entries are replaced, the rest added.
  const QSignalBlocker quiet(List1);
  const int replaced = std::min(static_cast<int>(paths.size()), List1->count());
  for (int i = 0; i < replaced; ++i) {
    List1->item(i)->setText(paths[i]);
  }
  if (paths.size() > replaced) {
    List1->addItems(paths.mid(replaced));
  }
}

void oledrag_form::Form_OLEDragDrop(const QMimeData* /*data*/) {
  // Accepted, so the desktop shows no refusal, but only the list takes
  // paths: the list, the clipboard and the settings stay as they are.
}

void oledrag_form::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  }
}

void oledrag_form::dropEvent(QDropEvent* event) {
  event->setDropAction(Qt::CopyAction);
  event->accept();
  Form_OLEDragDrop(event->mimeData());
}

void oledrag_form::List1_Click() {
  if (failed_) {
    return;
  }
  try {
    QGuiApplication::clipboard()->clear();
    const int count = List1->count();
    if (count == 0) {
      return;
    }
    std::vector<char> selected(static_cast<std::size_t>(count), 0);
    const QItemSelection selection = List1->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
      for (int row = range.top(); row <= range.bottom(); ++row) {
        selected[static_cast<std::size_t>(row)] = 1;
      }
    }
    std::vector<SelectedEntry> entries;
    for (int row = 0; row < count; ++row) {
      if (selected[static_cast<std::size_t>(row)] != 0) {
        entries.push_back({static_cast<std::size_t>(row), to_text(List1->item(row)->text())});
      }
    }
    set_clipboard_text(
        to_qstring(clip_text_for_selection(entries, static_cast<std::size_t>(count), drive_table_, options())));
  } catch (const std::exception& failure) {
    report_failure(failure);
  }
}

void oledrag_form::Form_Unload() { WRITE_back_option(host_, files_, options()); }

void oledrag_form::closeEvent(QCloseEvent* event) {
  event->accept();
  if (failed_) {
    return;
  }
  try {
    Form_Unload();
    emit finished(0);
  } catch (const std::exception& failure) {
    report_failure(failure);
  }
}

void oledrag_form::report_failure(const std::exception& failure) {
  // After a failure nothing more is done: above all, the settings file is
  // not rewritten from a state that may be incomplete.
  failed_ = true;
  show_message_box(QString::fromUtf8(failure.what()), isVisible() ? this : nullptr);
  emit finished(kPlatformFailureStatus);
}

}  // namespace kestrova
