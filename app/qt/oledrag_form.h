// The program's one window: the list of dropped paths, the three option
// check boxes and the HELP and CLEAR menu commands, with the start-up,
// drop, copy and close handlers.
#pragma once

#include <QCheckBox>
#include <QListWidget>
#include <QMainWindow>
#include <cstdint>
#include <stdexcept>

#include "app/qt/app_host.h"
#include "clip/clip.h"
#include "settings/settings.h"

class QAction;
class QMimeData;

namespace kestrova {

// A failure of the clipboard or another platform service (not a file).
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

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

// The live options: the three check boxes, asked at every edit.
class CheckBoxOptions final : public OptionSource {
 public:
  CheckBoxOptions(const QCheckBox* drive, const QCheckBox* tag, const QCheckBox* crlf)
      : drive_(drive), tag_(tag), crlf_(crlf) {}
  int Check_drive() const override { return state_of(drive_); }
  int Check_TAG() const override { return state_of(tag_); }
  int Check_CRLF() const override { return state_of(crlf_); }
  // 1 ticked, 0 cleared, 2 grayed.
  static int state_of(const QCheckBox* box);

 private:
  const QCheckBox* drive_;
  const QCheckBox* tag_;
  const QCheckBox* crlf_;
};

class oledrag_form : public QMainWindow {
  Q_OBJECT
 public:
  // Twips per logical pixel: the layout is given in twips and scales with
  // the screen's logical DPI.
  static constexpr double kTwipsPerPixel = 15.0;

  enum class Mode { Window, CommandLine };

  // `host` reaches the settings files; `program_folder` becomes the working
  // folder at start; `executable_name` goes into the caption.
  oledrag_form(AppHost& host, QString program_folder, QString executable_name);

  // Start-up: working folder, settings found, created and loaded, caption,
  // check boxes; then, for a non-empty command line, copies the path (or
  // the bare file name after "$FILENAME$") and closes the window without
  // ever showing it. Returns which mode the program is in.
  // Throws FileError or PlatformError on a platform failure and lets
  // ProgramEnded of a settings error pass; the settings file is then not
  // rewritten.
  Mode Form_Load(const QString& command_line);

  // Handlers. The ones that run inside the event loop report a platform
  // failure with a message and finished(kPlatformFailureStatus).
  void Form_Resize();
  void MENU_HELP_Click();
  void MENU_CLEAR_Click();
  void List1_OLEDragDrop(const QMimeData* data);
  void Form_OLEDragDrop(const QMimeData* data);
  void List1_Click();
  // Rewrites the settings file. Throws FileError.
  void Form_Unload();

  // Sets the clipboard to exactly `text`. Throws PlatformError when the
  // clipboard does not take it.
  static void set_clipboard_text(const QString& text);

  // The list's size as the resize rule last set it, in twips.
  float list_width_twips() const { return list_width_twips_; }
  float list_height_twips() const { return list_height_twips_; }

  // Controls, under the names the program has always given them.
  DropList* List1 = nullptr;
  QCheckBox* Check_CRLF = nullptr;
  QCheckBox* Check_drive = nullptr;
  QCheckBox* Check_TAG = nullptr;
  QAction* MENU_HELP = nullptr;
  QAction* MENU_CLEAR = nullptr;

  // The options as loaded; the check boxes are the live options after start.
  std::int16_t DRIVE_CHG_SET = 0;
  std::int16_t CRLF_SET = 0;
  std::int16_t TAG_SET = 0;

 signals:
  // The program's work in the event loop is over: the window was closed
  // (status 0) or a platform failure was reported.
  void finished(int status);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CheckBoxOptions options() const { return {Check_drive, Check_TAG, Check_CRLF}; }
  void build_controls();
  void run_command_line(const QString& command_line);
  void report_failure(const std::exception& failure);

  AppHost& host_;
  QString program_folder_;
  QString executable_name_;
  SettingsFiles files_;
  DriveTable drive_table_;
  float list_width_twips_ = 0;
  float list_height_twips_ = 0;
  bool selection_changed_since_press_ = false;
  bool failed_ = false;
};

// The help text shown by HELP.
QString help_text();

}  // namespace kestrova
