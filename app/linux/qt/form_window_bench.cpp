// Window-level benchmarks under the offscreen platform: a drop of many files
// onto the list, copying a whole large list after select-all, and a start
// with many paths on its command line.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QTemporaryDir>
#include <QUrl>

#include "app/linux/qt/form_window.h"

namespace {

using kestrova::AppHost;
using kestrova::FormWindow;
using kestrova::oledrag_form;

struct Window {
  QTemporaryDir dir;
  AppHost host{dir.path()};
  FormWindow view;
  oledrag_form form{host, view, kestrova::to_text(dir.path()), u"kestrova"};
  Window() {
    view.attach(&form);
    form.Form_Load({});
  }
};

QMimeData* file_drop(int count) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  urls.reserve(count);
  for (int i = 0; i < count; ++i) {
    urls << QUrl::fromLocalFile(QStringLiteral("/home/user/projects/report/chapter-%1/figure %2.png").arg(i / 100).arg(i));
  }
  data->setUrls(urls);
  return data;
}

void BM_DropFiles(benchmark::State& state) {
  Window window;
  const std::unique_ptr<QMimeData> data(file_drop(static_cast<int>(state.range(0))));
  for ([[maybe_unused]] auto _ : state) {
    state.PauseTiming();
    window.form.MENU_CLEAR_Click();
    state.ResumeTiming();
    window.form.List1_OLEDragDrop(kestrova::dropped_files(data.get()));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DropFiles)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CopyAllSelected(benchmark::State& state) {
  Window window;
  const std::unique_ptr<QMimeData> data(file_drop(static_cast<int>(state.range(0))));
  window.form.List1_OLEDragDrop(kestrova::dropped_files(data.get()));
  for ([[maybe_unused]] auto _ : state) {
    state.PauseTiming();
    {
      const QSignalBlocker quiet(window.view.List1);
      window.view.List1->clearSelection();
    }
    state.ResumeTiming();
    window.view.List1->selectAll();  // the selection change copies
  }
  // Timing a copy that lost entries would measure nothing.
  if (QGuiApplication::clipboard()->text().count(QStringLiteral("\r\n")) != state.range(0)) {  // CRLF-SET=YES: a break after each
    state.SkipWithError("the copy does not hold every dropped file");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CopyAllSelected)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// The window of a command-line start, timed up to the moment the clipboard
// has the text; its message box is measured and dismissed as it comes up.
class TimedWindow : public FormWindow {
 public:
  QElapsedTimer clock;
  qint64 copied_ns = 0;
  QSize box;

  TimedWindow() {
    dismiss_.setSingleShot(true);
    QObject::connect(&dismiss_, &QTimer::timeout, &dismiss_, [this] {
      QWidget* shown = QApplication::activeModalWidget();
      box = shown->sizeHint();
      shown->close();
    });
  }
  void set_clipboard_text(const kestrova::Text& text) override {
    FormWindow::set_clipboard_text(text);
    copied_ns = clock.nsecsElapsed();
  }
  void show_message(const kestrova::Text& text, const std::function<void()>& on_ok) override {
    dismiss_.start(0);  // fires once the box's own loop runs
    FormWindow::show_message(text, on_ok);
  }

 private:
  QTimer dismiss_;
};

void BM_CommandLinePaths(benchmark::State& state) {
  QTemporaryDir dir;
  std::vector<kestrova::Text> paths;
  for (int i = 0; i < state.range(0); ++i) {
    const QString path = dir.filePath(QStringLiteral("report chapter %1.txt").arg(i));
    QFile(path).open(QIODevice::WriteOnly);
    paths.push_back(kestrova::to_text(path));
  }
  const kestrova::CommandLine line = kestrova::command_line_from_arguments(paths);
  QSize box;
  double whole_ns = 0;
  for ([[maybe_unused]] auto _ : state) {
    AppHost host(dir.path());
    TimedWindow view;
    oledrag_form form(host, view, kestrova::to_text(dir.path()), u"kestrova");
    view.attach(&form);
    view.clock.start();
    form.Form_Load(line);
    whole_ns += static_cast<double>(view.clock.nsecsElapsed());
    state.SetIterationTime(static_cast<double>(view.copied_ns) / 1e9);
    box = view.box;
  }
  const QSize screen = QApplication::primaryScreen()->size();
  state.counters["start_to_end_ms"] = whole_ns / 1e6 / static_cast<double>(state.iterations());
  state.counters["box_height_px"] = box.height();
  state.counters["box_width_px"] = box.width();
  state.counters["screen_height_px"] = screen.height();
  state.counters["screen_width_px"] = screen.width();
}
// The time is the start's up to the clipboard; the box follows it.
BENCHMARK(BM_CommandLinePaths)->Arg(10)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
