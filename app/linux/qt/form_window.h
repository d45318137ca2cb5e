// The program's one window on Qt: the list of dropped paths, the three option
// check boxes and the HELP and CLEAR menu commands. It draws and translates
// Qt's events into the handlers of oledrag_form, which holds the behaviour.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QListWidget>
#include <QMainWindow>

#include "app/contrast.h"
#include "app/form.h"
#include "app/linux/qt/app_host.h"

class QAction;
class QMimeData;

namespace kestrova {

// The list: accepts every drop (a drop without files is answered with a
// message) and hands it to the window instead of moving items around.
class DropList : public QListWidget {
  Q_OBJECT
 public:
  using QListWidget::QListWidget;
 signals:
  void dropped(const QMimeData* data);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

inline Rgb rgb_of(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return {static_cast<std::uint8_t>(rgb.red()), static_cast<std::uint8_t>(rgb.green()),
          static_cast<std::uint8_t>(rgb.blue())};
}

// The local files a drop carries, as native paths, in the drop's order.
// A file URL names a local file when it has no host or the host localhost;
// other hosts and other schemes are left out.
std::vector<Text> dropped_files(const QMimeData* data);

class FormWindow : public QMainWindow, public FormView {
  Q_OBJECT
 public:
  // Twips per logical pixel: the layout is given in twips and scales with
  // the screen's logical DPI.
  static constexpr double kTwipsPerPixel = 15.0;

  FormWindow();

  // FormView.
  Text caption() const override { return to_text(windowTitle()); }
  void set_caption(const Text& caption) override { setWindowTitle(to_qstring(caption)); }
  int check_state(CheckBox which) const override;
  void set_checked(CheckBox which, bool ticked) override;
  std::size_t list_count() const override { return static_cast<std::size_t>(List1->count()); }
  Text list_entry(std::size_t index) const override;
  void write_list_entry(std::size_t index, const Text& text) override;
  void write_list_entries(std::size_t first, const std::vector<Text>& texts) override;
  void clear_list() override;
  std::vector<std::size_t> selected_entries() const override;
  double outer_width_twips() const override { return frameGeometry().width() * kTwipsPerPixel; }
  double outer_height_twips() const override { return frameGeometry().height() * kTwipsPerPixel; }
  void set_list_width_twips(float width) override;
  void set_list_height_twips(float height) override;
  void clear_clipboard() override;
  void set_clipboard_text(const Text& text) override;
  bool copy_needs_user_input() const override;
  void show_message(const Text& text, const std::function<void()>& on_ok) override;
  void show_failure(const Text& text) override;
  void attach(oledrag_form* form) override { form_ = form; }
  void show_and_run() override;
  void end(int status) override;

  // Controls, under the names the program has always given them.
  DropList* List1 = nullptr;
  QCheckBox* Check_CRLF = nullptr;
  QCheckBox* Check_drive = nullptr;
  QCheckBox* Check_TAG = nullptr;
  QAction* MENU_HELP = nullptr;
  QAction* MENU_CLEAR = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build_controls();
  QCheckBox* box(CheckBox which) const { return pick_check_box(which, Check_CRLF, Check_drive, Check_TAG); }

  oledrag_form* form_ = nullptr;
  bool running_ = false;
  bool selection_changed_since_press_ = false;
};

}  // namespace kestrova
