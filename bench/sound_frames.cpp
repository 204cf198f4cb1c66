// Eight sound columns (four 44.1 kHz stereo WAV, four MP3 of the same) written
// frame by frame into their rings for 60 s of scene at 25 fps, against the
// bare decode of the same samples (sf_readf_short / mpg123_read, sequential,
// no seeking, no resampling, no ring).

#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <mpg123.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "bench/BenchReport.h"
#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/Node.h"
#include "platform/GstPtr.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"

namespace {

using namespace kolvane;

constexpr int kRate = 44100;
constexpr int kSceneRate = 25;
constexpr int kSeconds = 60;
constexpr int kSceneFrames = kSeconds * kSceneRate;  // 1500
constexpr int kFramesPerCell = kRate / kSceneRate;   // 1764 sample frames
constexpr int kColumnsPerKind = 4;

struct Fixtures {
    QTemporaryDir dir;
    QString wav;
    QString mp3;
};

bool WriteWav(const QString& path) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    std::vector<short> values(2 * kRate);
    for (int second = 0; second < kSeconds; ++second) {
        for (int i = 0; i < kRate; ++i) {
            const double t = second + static_cast<double>(i) / kRate;
            const auto v = static_cast<short>(12000 * std::sin(2 * std::numbers::pi * 440 * t));
            values[2 * i] = v;
            values[2 * i + 1] = static_cast<short>(-v);
        }
        sf_writef_short(file, values.data(), kRate);
    }
    sf_close(file);
    return true;
}

bool EncodeMp3(const QString& wav, const QString& mp3) {
    const QString line = QStringLiteral(
                             "filesrc location=\"%1\" ! wavparse ! audioconvert ! lamemp3enc "
                             "target=bitrate bitrate=192 ! filesink location=\"%2\"")
                             .arg(wav, mp3);
    GError* rawError = nullptr;
    GstElementPtr pipeline(gst_parse_launch(line.toUtf8().constData(), &rawError));
    GErrorPtr error(rawError);
    if (!pipeline || error) return false;
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstMessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), 120 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
}

Fixtures& Clips() {
    static Fixtures fixtures = [] {
        Fixtures made;
        made.wav = made.dir.filePath(QStringLiteral("tone.wav"));
        made.mp3 = made.dir.filePath(QStringLiteral("tone.mp3"));
        if (!WriteWav(made.wav) || !EncodeMp3(made.wav, made.mp3)) {
            std::fprintf(stderr, "could not make the sound fixtures\n");
            std::exit(1);
        }
        return made;
    }();
    return fixtures;
}

// Columns of sound cells "tone:   n" whose rings take one frame per write.
class Columns {
  public:
    explicit Columns(const QStringList& paths) {
        engine_.settings.Set(FrameRate, kSceneRate);
        for (const QString& path : paths) {
            auto item = std::make_unique<CNode>(kTypeSoundItem, QStringLiteral("tone"));
            item->soundInfo = std::make_unique<CSoundInfo>(path);
            if (engine_.storage.OpenSound(*item) != kOk) std::exit(1);
            auto track = std::make_unique<CListInfo>();
            track->ring = engine_.sound.CreateTrackBuffer();
            std::vector<std::unique_ptr<CNode>> cells;
            for (int n = 1; n <= kSceneFrames; ++n) {
                cells.push_back(
                    std::make_unique<CNode>(kTypeSoundCell, SoundCellName(item->name, n)));
                cells.back()->item = item.get();
            }
            items_.push_back(std::move(item));
            tracks_.push_back(std::move(track));
            cells_.push_back(std::move(cells));
        }
    }

    int Count() const { return static_cast<int>(tracks_.size()); }

    // Writes scene frame `frame` of every column.
    bool WriteFrame(int frame) {
        for (std::size_t c = 0; c < tracks_.size(); ++c) {
            tracks_[c]->currentSoundCell = cells_[c][static_cast<std::size_t>(frame)].get();
            if (engine_.storage.WriteSoundFrame(*tracks_[c], false) != kOk) return false;
        }
        return true;
    }

  private:
    CEngine engine_{CEngine::Headless{}};  // working folders of its own
    std::vector<std::unique_ptr<CNode>> items_;
    std::vector<std::unique_ptr<CListInfo>> tracks_;
    std::vector<std::vector<std::unique_ptr<CNode>>> cells_;
};

QStringList ColumnPaths(bool wav, bool mp3) {
    QStringList paths;
    for (int i = 0; i < kColumnsPerKind; ++i) {
        if (wav) paths << Clips().wav;
        if (mp3) paths << Clips().mp3;
    }
    return paths;
}

void WriteColumns(benchmark::State& state, bool wav, bool mp3) {
    Columns columns(ColumnPaths(wav, mp3));
    int frame = 0;
    for (auto _ : state) {
        if (!columns.WriteFrame(frame)) {
            state.SkipWithError("frame write failed");
            break;
        }
        frame = (frame + 1) % kSceneFrames;
    }
    state.counters["columns"] = columns.Count();
}

// The bare decoders: the same samples, read one cell's worth at a time.
class BareWav {
  public:
    BareWav() {
        SF_INFO info{};
        file_ = sf_open(QFile::encodeName(Clips().wav).constData(), SFM_READ, &info);
        values_.resize(2 * kFramesPerCell);
    }
    ~BareWav() { sf_close(file_); }
    void Read() {
        if (sf_readf_short(file_, values_.data(), kFramesPerCell) < kFramesPerCell)
            sf_seek(file_, 0, SEEK_SET);
        benchmark::DoNotOptimize(values_.data());
    }

  private:
    SNDFILE* file_ = nullptr;
    std::vector<short> values_;
};

class BareMp3 {
  public:
    BareMp3() {
        handle_ = mpg123_new(nullptr, nullptr);
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        mpg123_open(handle_, QFile::encodeName(Clips().mp3).constData());
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_, &rate, &channels, &encoding);
        bytes_.resize(static_cast<std::size_t>(kFramesPerCell) * channels * 2);
    }
    ~BareMp3() { mpg123_delete(handle_); }
    void Read() {
        std::size_t done = 0;
        const int status = mpg123_read(handle_, bytes_.data(), bytes_.size(), &done);
        if (status == MPG123_DONE || done < bytes_.size()) mpg123_seek(handle_, 0, SEEK_SET);
        benchmark::DoNotOptimize(bytes_.data());
    }

  private:
    mpg123_handle* handle_ = nullptr;
    std::vector<unsigned char> bytes_;
};

void BareDecode(benchmark::State& state, bool wav, bool mp3) {
    std::vector<std::unique_ptr<BareWav>> wavs;
    std::vector<std::unique_ptr<BareMp3>> mp3s;
    for (int i = 0; i < kColumnsPerKind; ++i) {
        if (wav) wavs.push_back(std::make_unique<BareWav>());
        if (mp3) mp3s.push_back(std::make_unique<BareMp3>());
    }
    for (auto _ : state) {
        for (auto& w : wavs)
            w->Read();
        for (auto& m : mp3s)
            m->Read();
    }
    state.counters["columns"] = static_cast<double>(wavs.size() + mp3s.size());
}

void BM_WriteMixed(benchmark::State& state) {
    WriteColumns(state, true, true);
}
void BM_WriteWav(benchmark::State& state) {
    WriteColumns(state, true, false);
}
void BM_WriteMp3(benchmark::State& state) {
    WriteColumns(state, false, true);
}
void BM_BareMixed(benchmark::State& state) {
    BareDecode(state, true, true);
}
void BM_BareWav(benchmark::State& state) {
    BareDecode(state, true, false);
}
void BM_BareMp3(benchmark::State& state) {
    BareDecode(state, false, true);
}

BENCHMARK(BM_BareMixed)->Name("bare/8_columns")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteMixed)->Name("write/8_columns")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareWav)->Name("bare/4_wav")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteWav)->Name("write/4_wav")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareMp3)->Name("bare/4_mp3")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteMp3)->Name("write/4_mp3")->Unit(benchmark::kMicrosecond);

// Prints as usual and keeps each benchmark's CPU time per iteration (µs),
// one value a repetition.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                cpu[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::vector<double>> cpu;
};

void PrintSummary(const std::map<std::string, std::vector<double>>& cpu) {
    auto find = [&](const char* name, int columns) {
        std::vector<double> values;
        const auto found = cpu.find(name);
        if (found != cpu.end()) {
            for (double value : found->second)
                values.push_back(value / columns);
        }
        return values;
    };
    std::printf(
        "\nsound frames, 44.1 kHz stereo at %d fps: us per frame per column (CPU), "
        "median (low-high) of the runs\n",
        kSceneRate);
    std::printf("  %-10s %-22s %-22s %s\n", "columns", "write", "bare", "ratio");
    const struct {
        const char* label;
        const char* write;
        const char* bare;
        int columns;
        bool target;
    } rows[] = {
        {"8 (mixed)", "write/8_columns", "bare/8_columns", 8, true},
        {"4 WAV", "write/4_wav", "bare/4_wav", 4, false},
        {"4 MP3", "write/4_mp3", "bare/4_mp3", 4, false},
    };
    for (const auto& row : rows) {
        const std::vector<double> write = find(row.write, row.columns);
        const std::vector<double> bare = find(row.bare, row.columns);
        if (write.empty() || bare.empty()) continue;
        const bench::Spread ratio = bench::Summarise(bench::Ratios(write, bare));
        std::printf("  %-10s %-22s %-22s %sx%s\n", row.label,
                    bench::Format(bench::Summarise(write)).c_str(),
                    bench::Format(bench::Summarise(bare)).c_str(), bench::Format(ratio).c_str(),
                    row.target
                        ? (ratio.median <= 2.0 ? "  target <= 2x: met" : "  target <= 2x: MISSED")
                        : "");
    }
    std::printf("  one frame of 8 columns: %s us of the %.0f us a frame lasts\n",
                bench::Format(bench::Summarise(find("write/8_columns", 1)), "%.1f").c_str(),
                1e6 / kSceneRate);
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    mpg123_init();
    const bench::MachineReport machine("bench_sound_frames");
    bench::RepeatedArguments arguments(argc, argv);
    benchmark::Initialize(arguments.Argc(), arguments.Argv());
    Clips();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter.cpu);
    benchmark::Shutdown();
    return 0;
}
