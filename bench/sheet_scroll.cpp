// Scrolling the editor's grid: paints the panel at 200 scroll positions of a
// sheet of 10,000 frames and of one of 100, each column one long exposure,
// with thumbnails (the default) and with counters (which count the frames of
// the exposure above the first row shown once a paint). Only the rows in
// view are drawn, so with thumbnails the ratio should stay near 1.
//   bench_sheet_scroll

#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QImage>
#include <QPainter>

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
    CSettings settings{CSettings::Unstored{}};
    settings.Set(CellInfo, cellInfo);
    CMdiaList media;
    CXshtList sheet(settings);
    CTitleBar title(settings);
    CNoHistory history;
    CNoSink sink;
    for (int c = 0; c < 5; ++c) {
        CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/c%1 0001.png").arg(c));
        for (int f = 0; f < frames; ++f)
            sheet.PlaceItem(item);
    }
    sheet.Normalise();
    SceneLinks links{&media, &sheet, &settings, &title, &history, {}};
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
    for (const auto& [mode, name] : {std::pair{2, "thumbnails"}, std::pair{1, "counters"}}) {
        const double shortSheet = ScrollMs(100, kSteps, mode);
        const double longSheet = ScrollMs(10000, kSteps, mode);
        std::printf("%s: 100 frames %.3f ms a step, 10000 frames %.3f ms a step, ratio %.2f\n",
                    name, shortSheet / kSteps, longSheet / kSteps, longSheet / shortSheet);
    }
    return 0;
}
