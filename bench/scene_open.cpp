// Open Scene on scene folders of 1,250, 5,000 and 20,000 small images in five
// columns (each image on one frame), then the scene's timing file read again
// onto a fresh sheet, against the bare work of the same files: the folder
// listed and every picture's header probed. Prints seconds per size, the
// growth exponent from one size to the next (1.0 is linear, 2.0 quadratic),
// and Open Scene's time over the baseline's.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include "display/ImageFiles.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/Progress.h"
#include "settings/Settings.h"
#include "storage/FolderListing.h"
#include "storage/Import.h"
#include "storage/MediaFiles.h"
#include "storage/Storage.h"
#include "storage/TimingFile.h"

namespace {

using namespace kolvane;
using Clock = std::chrono::steady_clock;

constexpr int kColumns = 5;
constexpr int kSizes[] = {1250, 5000, 20000};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

QByteArray TinyPng() {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(qRgb(90, 140, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// "<folder>/<folder name>.csv" and the images: column c holds "c<c> 0001" ...
bool WriteScene(const QString& folder, int images) {
    const QByteArray png = TinyPng();
    const int rows = images / kColumns;
    QByteArray timing = ",";
    for (int c = 1; c <= kColumns; ++c)
        timing += "\"c" + QByteArray::number(c) + "\",";
    timing += "\"\"\r\n";
    for (int r = 1; r <= rows; ++r) {
        timing += QByteArray::number(r) + ',';
        for (int c = 1; c <= kColumns; ++c) {
            const QString name = QStringLiteral("c%1 %2").arg(c).arg(r, 4, 10, QLatin1Char('0'));
            QFile file(folder + u'/' + name + QStringLiteral(".png"));
            if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size()) return false;
            timing += '"' + name.toUtf8() + "\", ";
        }
        timing += "\"\"\r\n";
    }
    QFile file(folder + u'/' + QDir(folder).dirName() + QStringLiteral(".csv"));
    return file.open(QIODevice::WriteOnly) && file.write(timing) == timing.size();
}

struct Figures {
    double open = 0;
    double timing = 0;
    double baseline = 0;
};

Figures Measure(const QString& folder, int images) {
    Figures figures;
    {
        const auto start = Clock::now();
        const auto entries = ListFolder(folder, NameOrder::IgnoringCase);
        int probed = 0;
        for (const FolderEntry& entry : *entries) {
            if (entry.name.endsWith(QLatin1String(".png")) &&
                ProbeImageSize(folder + u'/' + entry.name).isValid()) {
                ++probed;
            }
        }
        figures.baseline = Seconds(start);
        if (probed != images) std::fprintf(stderr, "baseline probed %d of %d\n", probed, images);
    }

    QTemporaryDir work;
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet(settings);
    CStorage storage(work.path() + QStringLiteral("/work"), work.path() + QStringLiteral("/docs"));
    CStorage::Links links;
    links.settings = &settings;
    links.media = &media;
    links.loadImage = &ProbeImageFile;
    links.sheet = &sheet;
    storage.Connect(std::move(links));
    storage.SetPause([](std::chrono::milliseconds) {});
    CNoProgress progress;
    {
        const auto start = Clock::now();
        const Result result = storage.OpenScene(folder, DefaultSceneExtensions(), progress);
        figures.open = Seconds(start);
        if (result != kOk || media.TotalChildren() != images ||
            sheet.FrameCount() != images / kColumns)
            std::fprintf(stderr, "open: result %d, %d images, %d frames\n", result,
                         media.TotalChildren(), sheet.FrameCount());
    }
    {
        CXshtList read(settings);
        const auto start = Clock::now();
        ReadTiming(read, media, folder);
        figures.timing = Seconds(start);
        if (read.FrameCount() != images / kColumns)
            std::fprintf(stderr, "timing: %d frames\n", read.FrameCount());
    }
    storage.Connect({});
    return figures;
}

double Exponent(double t1, double t2, int n1, int n2) {
    return std::log(t2 / t1) / std::log(static_cast<double>(n2) / n1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTemporaryDir root;
    std::vector<Figures> all;
    std::printf("%8s %10s %10s %10s %8s\n", "images", "open s", "timing s", "baseline s",
                "open/base");
    for (const int images : kSizes) {
        const QString folder = root.path() + QStringLiteral("/Scene %1").arg(images);
        if (!QDir().mkpath(folder) || !WriteScene(folder, images)) {
            std::fprintf(stderr, "cannot write the scene of %d images\n", images);
            return 1;
        }
        const Figures f = Measure(folder, images);
        all.push_back(f);
        std::printf("%8d %10.3f %10.3f %10.3f %8.2f\n", images, f.open, f.timing, f.baseline,
                    f.open / f.baseline);
        std::fflush(stdout);
    }
    for (std::size_t i = 1; i < all.size(); ++i) {
        std::printf("growth %d -> %d: open %.2f, timing %.2f, baseline %.2f\n", kSizes[i - 1],
                    kSizes[i], Exponent(all[i - 1].open, all[i].open, kSizes[i - 1], kSizes[i]),
                    Exponent(all[i - 1].timing, all[i].timing, kSizes[i - 1], kSizes[i]),
                    Exponent(all[i - 1].baseline, all[i].baseline, kSizes[i - 1], kSizes[i]));
    }
    std::printf("target: growth <= 1.15, open/base <= 3 at %d images\n", kSizes[2]);
    return 0;
}
