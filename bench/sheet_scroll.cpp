// Scrolling the editor's grid: paints the panel at 200 scroll positions of a
// sheet of 10,000 frames and of one of 100, each column one long exposure,
// with thumbnails (the default) and with counters (which count the frames of
// the exposure above the first row shown once a paint). Only the rows in
// view are drawn, so with thumbnails the ratio should stay near 1.
//   bench_sheet_scroll

#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "bench/BenchReport.h"
#include "engine/Engine.h"
#include "model/MdiaList.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "ui/ScrollBar.h"
#include "ui/XshtMainPanel.h"
#include "ui/XshtView.h"

namespace {

using namespace kolvane;

class CNoHistory : public ISheetHistory {
  public:
    Result RecordEdit(const CXshtList&) override { return kOk; }
    void Reset() override {}
};

class CNoSink : public ICommandSink {
  public:
    void SendCommand(int) override {}
    void PostCommand(int) override {}
};

// Milliseconds for `steps` scroll-and-paint steps over a sheet of `frames`.
double ScrollMs(int frames, int steps, int cellInfo) {
    CEngine engine{CEngine::Headless{}};
    engine.settings.Set(CellInfo, cellInfo);
    CMdiaList& media = engine.media;
    CXshtList& sheet = engine.sheet;
    CNoHistory history;
    CNoSink sink;
    for (int c = 0; c < 5; ++c) {
        CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/c%1 0001.png").arg(c));
        for (int f = 0; f < frames; ++f)
            sheet.PlaceItem(item);
    }
    sheet.Normalise();
    SceneLinks links{&media, &sheet, &engine.settings, &engine.title, &history, {}, &engine.scene,
                     {},     {}};
    CXshtMainPanel panel(sink, links, nullptr);
    panel.resize(1000, 800);
    panel.OnCommand(cmd::kSheetChanged);
    QImage target(panel.size(), QImage::Format_RGB32);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
        panel.View().SetFirstRow((i * 7919) % std::max(1, frames - 40));
        QPainter painter(&target);
        panel.render(&painter);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    constexpr int kSteps = 200;
    ScrollMs(100, 10, 2);  // warm up fonts and caches
    const bench::MachineReport machine("bench_sheet_scroll");
    for (const auto& [mode, name] : {std::pair{2, "thumbnails"}, std::pair{1, "counters"}}) {
        std::vector<double> shortSheet, longSheet;
        for (int run = 0; run < bench::kRuns; ++run) {
            shortSheet.push_back(ScrollMs(100, kSteps, mode) / kSteps);
            longSheet.push_back(ScrollMs(10000, kSteps, mode) / kSteps);
        }
        std::printf("%s: ms a step, median (low-high) of %d runs: 100 frames %s, 10000 frames %s\n",
                    name, bench::kRuns, bench::Format(bench::Summarise(shortSheet), "%.3f").c_str(),
                    bench::Format(bench::Summarise(longSheet), "%.3f").c_str());
        std::printf("%s: ratio 10000 / 100 frames %s\n", name,
                    bench::Format(bench::Summarise(bench::Ratios(longSheet, shortSheet))).c_str());
    }
    return 0;
}
