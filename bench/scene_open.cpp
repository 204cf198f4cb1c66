// Open Scene on scene folders of 1,250, 5,000 and 20,000 small images in five
// columns (each image on one frame), then the scene's timing file read again
// onto a fresh sheet, against the bare work of the same files: the folder
// listed and every picture's header probed. Prints seconds per size, the
// growth exponent from one size to the next (1.0 is linear, 2.0 quadratic),
// and Open Scene's time over the baseline's: each the median and spread of
// bench::kRuns runs (an exponent or a ratio is taken run by run). The growth
// is also given in the CPU time of the thread, which a machine busy with
// other work does not stretch as it does the time on the clock.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include "bench/BenchReport.h"
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

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
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
    double openCpu = 0;
    double timingCpu = 0;
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
        const double cpu = CpuSeconds();
        const Result result = storage.OpenScene(folder, DefaultSceneExtensions(), progress);
        figures.openCpu = CpuSeconds() - cpu;
        figures.open = Seconds(start);
        if (result != kOk || media.TotalChildren() != images ||
            sheet.FrameCount() != images / kColumns)
            std::fprintf(stderr, "open: result %d, %d images, %d frames\n", result,
                         media.TotalChildren(), sheet.FrameCount());
    }
    {
        CXshtList read(settings);
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        ReadTiming(read, media, folder);
        figures.timingCpu = CpuSeconds() - cpu;
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

// The runs of one size.
struct Runs {
    std::vector<double> open, timing, baseline, openCpu, timingCpu;

    void Add(const Figures& f) {
        open.push_back(f.open);
        timing.push_back(f.timing);
        baseline.push_back(f.baseline);
        openCpu.push_back(f.openCpu);
        timingCpu.push_back(f.timingCpu);
    }
};

std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return ratios;
}

std::vector<double> Exponents(const std::vector<double>& small, const std::vector<double>& large,
                              int n1, int n2) {
    std::vector<double> exponents;
    for (std::size_t i = 0; i < small.size() && i < large.size(); ++i)
        exponents.push_back(Exponent(small[i], large[i], n1, n2));
    return exponents;
}

std::string Figure(const std::vector<double>& values, const char* number = "%.3f") {
    return bench::Format(bench::Summarise(values), number);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const bench::MachineReport machine("scene_open");
    QTemporaryDir root;
    std::vector<Runs> all;
    std::printf("seconds, median (lowest-highest) of %d runs\n", bench::kRuns);
    for (const int images : kSizes) {
        const QString folder = root.path() + QStringLiteral("/Scene %1").arg(images);
        if (!QDir().mkpath(folder) || !WriteScene(folder, images)) {
            std::fprintf(stderr, "cannot write the scene of %d images\n", images);
            return 1;
        }
        Runs& runs = all.emplace_back();
        for (int run = 0; run < bench::kRuns; ++run)
            runs.Add(Measure(folder, images));
        std::printf(
            "%6d images: open %s, timing %s, baseline %s, open/base %s; CPU: open %s, "
            "timing %s\n",
            images, Figure(runs.open).c_str(), Figure(runs.timing, "%.4f").c_str(),
            Figure(runs.baseline).c_str(), Figure(Ratios(runs.open, runs.baseline), "%.2f").c_str(),
            Figure(runs.openCpu).c_str(), Figure(runs.timingCpu, "%.4f").c_str());
        std::fflush(stdout);
    }
    for (std::size_t i = 1; i < all.size(); ++i) {
        const int n1 = kSizes[i - 1];
        const int n2 = kSizes[i];
        const Runs& a = all[i - 1];
        const Runs& b = all[i];
        std::printf(
            "growth %d -> %d: open %s, timing %s, baseline %s; in CPU time: open %s, "
            "timing %s\n",
            n1, n2, Figure(Exponents(a.open, b.open, n1, n2), "%.2f").c_str(),
            Figure(Exponents(a.timing, b.timing, n1, n2), "%.2f").c_str(),
            Figure(Exponents(a.baseline, b.baseline, n1, n2), "%.2f").c_str(),
            Figure(Exponents(a.openCpu, b.openCpu, n1, n2), "%.2f").c_str(),
            Figure(Exponents(a.timingCpu, b.timingCpu, n1, n2), "%.2f").c_str());
    }
    std::printf("target: growth <= 1.15, open/base <= 3 at %d images\n", kSizes[2]);
    return 0;
}
