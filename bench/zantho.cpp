// 1920 x 1080 YUY2 frames through the zantho element, against one memcpy of a
// frame and the stock videobalance ! videoflip chain doing the same work.
// Each input frame is a fresh, writable copy made outside the timing, as a
// capture source would deliver it.

#include <benchmark/benchmark.h>
#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "filters/zantho/IZantho.h"
#include "filters/zantho/ZanthoPixels.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * kHeight * 2;
constexpr int kDistinctFrames = 4;
constexpr char kCaps[] = "video/x-raw,format=YUY2,width=1920,height=1080,framerate=30/1";

// Noisy frames, so that every frame differs from the last and the picture
// stays live, as a camera's would.
const std::vector<GstBuffer*>& Frames() {
    static const std::vector<GstBuffer*> frames = [] {
        std::vector<GstBuffer*> made;
        std::mt19937 random(7);
        for (int i = 0; i < kDistinctFrames; ++i) {
            std::vector<std::uint8_t> bytes(kFrameBytes);
            for (auto& byte : bytes)
                byte = static_cast<std::uint8_t>(random());
            made.push_back(gst_buffer_new_memdup(bytes.data(), bytes.size()));
        }
        return made;
    }();
    return frames;
}

GstBuffer* FreshFrame(std::size_t index) {
    return gst_buffer_copy_deep(Frames()[index % Frames().size()]);
}

void PushThrough(benchmark::State& state, GstHarness* harness) {
    gst_harness_set_src_caps_str(harness, kCaps);
    // Until frames come out: zantho shows nothing before the picture is live.
    for (std::size_t i = 0; i < 4; ++i) {
        gst_harness_push(harness, FreshFrame(i));
        while (GstBuffer* out = gst_harness_try_pull(harness))
            gst_buffer_unref(out);
    }
    std::size_t index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        GstBuffer* in = FreshFrame(index++);
        state.ResumeTiming();
        if (gst_harness_push(harness, in) != GST_FLOW_OK) {
            state.SkipWithError("push failed");
            break;
        }
        GstBuffer* out = gst_harness_try_pull(harness);
        if (out == nullptr) {
            state.SkipWithError("no frame came out");
            break;
        }
        gst_buffer_unref(out);
    }
    gst_harness_teardown(harness);
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint8_t> destination(kFrameBytes);
    std::size_t index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        GstBuffer* in = FreshFrame(index++);
        GstMapInfo map;
        gst_buffer_map(in, &map, GST_MAP_READ);
        state.ResumeTiming();
        std::memcpy(destination.data(), map.data, kFrameBytes);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
        state.PauseTiming();
        gst_buffer_unmap(in, &map);
        gst_buffer_unref(in);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Memcpy)->Name("memcpy")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZanthoNeutral(benchmark::State& state) {
    PushThrough(state, gst_harness_new("zantho"));
}
BENCHMARK(BM_ZanthoNeutral)->Name("zantho/a_neutral")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZanthoAdjusted(benchmark::State& state) {
    GstHarness* harness = gst_harness_new("zantho");
    g_object_set(harness->element, "whiteness", 10.0f, "brightness", 12.0f, "contrast", 1.3f,
                 "color", 0.7f, "horizontal", -1.0f, "vertical", -1.0f, nullptr);
    PushThrough(state, harness);
}
BENCHMARK(BM_ZanthoAdjusted)
    ->Name("zantho/b_levels_mirror_flip")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ZanthoMotion(benchmark::State& state) {
    GstHarness* harness = gst_harness_new("zantho");
    g_object_set(harness->element, "motion-detect", TRUE, nullptr);
    PushThrough(state, harness);
}
BENCHMARK(BM_ZanthoMotion)->Name("zantho/c_motion")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StockChain(benchmark::State& state) {
    PushThrough(state, gst_harness_new_parse("videobalance brightness=0.05 contrast=1.3 "
                                             "saturation=0.7 ! videoflip method=rotate-180"));
}
BENCHMARK(BM_StockChain)
    ->Name("videobalance_videoflip/b")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The live path alone, without GStreamer around it: levels, orientation and
// the luma samples for the freeze and motion checks in one pass.
void BM_AdjustAndOrientKernel(benchmark::State& state) {
    const kolvane::zantho::LevelTables levels =
        kolvane::zantho::MakeLevelTables(10.0f, 12.0f, 1.3f, 0.7f);
    std::vector<std::uint8_t> source(kFrameBytes, 90), destination(kFrameBytes);
    std::vector<std::uint8_t> samples(kFrameBytes / 4);
    const std::ptrdiff_t pitch = kolvane::zantho::Yuy2RowBytes(kWidth);
    for (auto _ : state) {
        kolvane::zantho::AdjustOrientAndSample(source.data(), pitch, destination.data(), pitch,
                                               kWidth, kHeight, {true, true}, levels,
                                               samples.data());
        benchmark::DoNotOptimize(destination.data());
    }
}
BENCHMARK(BM_AdjustAndOrientKernel)
    ->Name("kernel/b_levels_mirror_flip")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GetFrame16(benchmark::State& state) {
    GstHarness* harness = gst_harness_new("zantho");
    gst_harness_set_src_caps_str(harness, kCaps);
    kolvane::IZantho* zantho = kolvane::QueryZantho(harness->element);
    zantho->SetDenoise(16);
    for (std::size_t i = 0; i < 17; ++i) {
        gst_harness_push(harness, FreshFrame(i));
        while (GstBuffer* out = gst_harness_try_pull(harness))
            gst_buffer_unref(out);
    }
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (auto _ : state) {
        if (zantho->GetFrame(rgb.data(), rgb.size(), nullptr) != kolvane::kOk) {
            state.SkipWithError("GetFrame failed");
            break;
        }
        benchmark::DoNotOptimize(rgb.data());
    }
    gst_harness_teardown(harness);
}
BENCHMARK(BM_GetFrame16)->Name("zantho/getframe_n16")->Unit(benchmark::kMillisecond)->UseRealTime();

struct Timing {
    std::vector<double> real;  // ms per iteration, one value a repetition
    std::vector<double> cpu;
};

// Prints as usual and keeps each benchmark's times per iteration.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                Timing& timing = timings[run.run_name.function_name];
                timing.real.push_back(run.GetAdjustedRealTime());
                timing.cpu.push_back(run.GetAdjustedCPUTime());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Timing> timings;
};

// Ratios use the CPU time of the streaming thread, which a busy machine
// disturbs less than the wall clock; both are shown. Each figure is the
// median of the repetitions with the lowest and highest in brackets.
void PrintSummary(const std::map<std::string, Timing>& timings) {
    auto find = [&](const char* name) {
        const auto found = timings.find(name);
        return found == timings.end() ? Timing{} : found->second;
    };
    const Timing copy = find("memcpy");
    if (copy.cpu.empty()) return;
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    auto line = [&](const char* label, const Timing& t, const char* target, double limit) {
        if (t.cpu.empty()) return;
        const bench::Spread ratio = bench::Summarise(bench::Ratios(t.cpu, copy.cpu));
        std::printf("  %-28s %-22s %-22s x memcpy %-20s %s%s\n", label,
                    bench::Format(bench::Summarise(t.cpu), "%.3f").c_str(),
                    bench::Format(bench::Summarise(t.real), "%.3f").c_str(),
                    bench::Format(ratio).c_str(), target,
                    limit > 0.0 ? verdict(ratio.median <= limit) : "");
    };
    const Timing neutral = find("zantho/a_neutral");
    const Timing adjusted = find("zantho/b_levels_mirror_flip");
    const Timing stock = find("videobalance_videoflip/b");
    const Timing grab = find("zantho/getframe_n16");
    std::printf(
        "\nzantho, 1920 x 1080 YUY2: ms per frame, CPU and wall, median (low-high) of %zu "
        "runs\n",
        copy.cpu.size());
    line("memcpy of a frame", copy, "", 0.0);
    line("(a) no adjustment", neutral, "target <= 2x: ", 2.0);
    line("(b) levels, mirror, flip", adjusted, "target <= 2x: ", 2.0);
    line("(c) motion detection", find("zantho/c_motion"), "", 0.0);
    line("videobalance ! videoflip (b)", stock, "", 0.0);
    line("kernel alone (b)", find("kernel/b_levels_mirror_flip"), "", 0.0);
    if (!stock.cpu.empty() && !adjusted.cpu.empty()) {
        const bench::Spread faster = bench::Summarise(bench::Ratios(stock.cpu, adjusted.cpu));
        std::printf("  (b) faster than videobalance ! videoflip: %sx, target >= 3x: %s\n",
                    bench::Format(faster, "%.1f").c_str(), verdict(faster.median >= 3.0));
    }
    if (!grab.cpu.empty()) {
        const bench::Spread cpu = bench::Summarise(grab.cpu);
        std::printf("  GetFrame, N = 16: %s ms CPU, %s ms wall, target < 30 ms: %s\n",
                    bench::Format(cpu, "%.1f").c_str(),
                    bench::Format(bench::Summarise(grab.real), "%.1f").c_str(),
                    verdict(cpu.median < 30.0));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The build's own plugins live beside the benchmark.
    const std::filesystem::path plugins =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "gst-plugins";
    setenv("GST_PLUGIN_PATH", plugins.c_str(), 0);
    gst_init(&argc, &argv);
    if (GstElementFactory* factory = gst_element_factory_find("zantho")) {
        gst_object_unref(factory);
    } else {
        std::fprintf(stderr, "zantho plugin not found in %s\n", plugins.c_str());
        return 1;
    }
    const bench::MachineReport machine("bench_zantho");
    bench::RepeatedArguments arguments(argc, argv);
    benchmark::Initialize(arguments.Argc(), arguments.Argv());
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter.timings);
    benchmark::Shutdown();
    return 0;
}
