// Window-level benchmarks under the offscreen platform: a drop of many files
// onto the list, and copying a whole large list after select-all.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "app/qt/form_window.h"

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

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
