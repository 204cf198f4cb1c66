#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QImage>
#include <QString>

#include "app/core/Settings.h"
#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "player/PlayEngine.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "tests/player/ManualPlayClock.h"

namespace kolvane::test {

// A tick source the test drives by hand: Tick() moves the clock to the next
// deadline (plus any lateness) and runs the tick there.
class CManualTicks final : public ITickSource {
  public:
    explicit CManualTicks(CManualPlayClock& clock) : clock_(clock) {}

    bool Start(FramePeriod period, Handler onTick) override {
        if (refuse) return false;
        period_ = period;
        handler_ = std::move(onTick);
        epoch_ = clock_.Now();
        index_ = 0;
        running_ = true;
        ++starts;
        return true;
    }
    void Stop() override { running_ = false; }
    bool IsRunning() const override { return running_; }

    void Tick(std::chrono::nanoseconds late = {}) {
        if (!running_) return;
        ++index_;
        const PlayTick tick{index_, epoch_ + period_.Ticks(static_cast<std::int64_t>(index_))};
        clock_.SetTo(tick.deadline + late);
        Handler handler = handler_;  // the tick may stop the run
        handler(tick);
    }
    void Ticks(int count) {
        for (int i = 0; i < count; ++i)
            Tick();
    }
    FramePeriod Period() const { return period_; }

    bool refuse = false;
    int starts = 0;

  private:
    CManualPlayClock& clock_;
    FramePeriod period_;
    Handler handler_;
    IPlayClock::TimePoint epoch_;
    std::uint64_t index_ = 0;
    bool running_ = false;
};

// What one PresentFrame showed: the current frame and the colour at the
// picture's centre.
struct Presented {
    int frame;
    QRgb centre;
};

class CRecordingView final : public IPlayView {
  public:
    explicit CRecordingView(CDirect3D& display, CXshtList& sheet)
        : display_(display), sheet_(sheet) {}

    bool IsShown() const override { return shown; }
    void PresentFrame() override;
    void Invalidate() override { ++invalidations; }
    void HideInfoStripForRun() override { infoStripShown = false; }
    void RestoreInfoStrip() override { infoStripShown = true; }
    void SetTooltipsActive(bool active) override { tooltipsActive = active; }
    void ShowStatistics(const PlayStatistics& s) override { statistics.push_back(s); }
    void CloseStatistics() override { ++statisticsClosed; }

    // The frames presented so far, and forgets them.
    std::vector<int> TakeFrames();
    QRgb LastCentre() const { return presented.empty() ? 0 : presented.back().centre; }

    bool shown = true;
    bool infoStripShown = true;
    bool tooltipsActive = true;
    int invalidations = 0;
    int statisticsClosed = 0;
    std::vector<Presented> presented;
    std::vector<PlayStatistics> statistics;

  private:
    CDirect3D& display_;
    CXshtList& sheet_;
};

// The main frame as the engine sees it: the player view command shows the
// view; posted commands wait until the test delivers them.
class CRecordingSink final : public ICommandSink {
  public:
    void SendCommand(int id) override;
    void PostCommand(int id) override { posted.push_back(id); }

    CRecordingView* view = nullptr;
    CPlayEngine* engine = nullptr;
    CXshtList* sheet = nullptr;
    std::vector<int> sent;
    std::vector<int> posted;
};

// The colour of image k of a column, and back.
QRgb FrameColour(int k);
int FrameOfColour(QRgb colour);  // -1 for anything else
inline constexpr QRgb kWhitePicture = 0xFFFFFFFF;
inline constexpr QRgb kBlackPicture = 0xFF000000;

// The process objects the engine works with, a 64 × 48 view at 25 fps, and
// the engine driven by a manual clock.
class CPlayRig {
  public:
    CPlayRig();
    ~CPlayRig();

    // A column of `frames` images, image k in colour FrameColour(k).
    CNode* AddImageColumn(const QString& name, int frames);
    // A 48 kHz stereo clip whose every sample holds the number of the scene
    // frame (at 25 fps) it belongs to, placed as a sound column.
    CNode* AddSoundColumn(const QString& name, int frames);
    // Normalises and recomputes, as an edit of the sheet ends.
    void Settle();

    void Tick(std::chrono::nanoseconds late = {}) { ticks.Tick(late); }
    void Ticks(int count) { ticks.Ticks(count); }
    int Current() const { return sheet.CurrentFrame(); }
    // The row of the column's sound cell written last (-1 for none).
    static int SoundRow(const CNode& column);
    // The first left sample of the frame written last into the column's ring.
    int LastSoundValue(const CNode& column) const;
    static bool RingPlaying(const CNode& column);

    CStorage storage;
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CDirect3D display{settings, media};
    CDirectSound sound{settings};
    CManualPlayClock clock;
    CManualTicks ticks{clock};
    CRecordingView view{display, sheet};
    CRecordingSink sink;
    std::unique_ptr<CPlayEngine> engine;
    QString dir;
};

}  // namespace kolvane::test
