#pragma once

#include <cstdint>
#include <vector>

#include "player/PlayClock.h"
#include "player/PlayTimer.h"
#include "player/PlayView.h"

class QRect;

namespace kolvane {

class CDirect3D;
class CDirectSound;
class CMdiaList;
class CNode;
class CSettings;
class CStorage;
class CTitleBar;
class CXshtList;
class ICommandSink;

// The playback engine of the player view: steps through the exposure sheet
// with wrap-around, draws each frame through the renderer, feeds the sound
// columns' rings one second ahead of the picture, and runs the loop modes,
// play once, half speed, the dropping of late frames and the statistics.
//
// Frame numbers are the sheet's current frame; each column's summary keeps
// the column's position (its current cell) moving with it, and for a sound
// column the cell whose sound was written last. User-interface thread only;
// ticks come from the tick source on that thread too.
class CPlayEngine {
  public:
    // Everything the engine works with; owned elsewhere, and outliving it.
    struct Links {
        CXshtList* sheet = nullptr;
        CMdiaList* media = nullptr;
        const CSettings* settings = nullptr;
        CDirect3D* display = nullptr;
        CDirectSound* sound = nullptr;
        CStorage* storage = nullptr;
        CTitleBar* title = nullptr;  // may be none
        ICommandSink* sink = nullptr;
        IPlayView* view = nullptr;
        ITickSource* ticks = nullptr;
        IPlayClock* clock = nullptr;
    };

    explicit CPlayEngine(const Links& links);
    ~CPlayEngine();
    CPlayEngine(const CPlayEngine&) = delete;
    CPlayEngine& operator=(const CPlayEngine&) = delete;

    // The player's commands (play, the two half-speed buttons, step back and
    // forward, show frame, frame-rate change); false for any other.
    bool OnCommand(int id);

    void TogglePlay();
    void ToggleBackwards();
    void ToggleSlow();
    void StartPlayback();
    void StopPlayback();
    // "Play once": the view to return to at the end (32858 grabber, 32873
    // editor, 32891 player), then play.
    void PlayOnce(int returnCommand);

    void StepForward();
    void StepBack();
    // Frame `frame` (unsigned: a jump back before frame 0 comes round to the
    // last frame), or the next one that shows something.
    void GoToFrame(std::uint32_t frame);
    void ShowFrame();
    // The current frame was moved elsewhere (the editor) from `from`: the
    // pictures of the next frames in that direction are read ahead.
    void CurrentFrameMoved(int from);

    // Sound runs refitted after a frame-rate change; a run is stopped around it
    // and started again.
    void RefitSoundCells();

    // The view was shown or hidden.
    void ViewShown(bool shown);

    bool IsPlaying() const { return playing_; }
    bool IsSlow() const { return slow_; }
    bool IsBackwards() const { return backwards_; }
    bool SoundStarted() const { return soundStarted_; }
    std::uint32_t ExtraFrames() const { return extraFrames_; }
    int ReturnCommand() const { return returnCommand_; }
    FramePeriod Period() const { return period_; }
    PlayStatistics Statistics() const { return {skippedFrames_, lowestRate_, highestRate_}; }

    // What the view's overlays read. The last playable frame (sheet length
    // - 2); a column's current cell (none past its end).
    int LastFrame() const;
    static const CNode* CurrentCell(const CNode& column);
    // A column that is on and has a current cell that the selection lets
    // through: with two or more cells selected only selected cells show.
    bool ShowsSomething() const;
    bool CellPasses(const CNode& cell) const;

  private:
    enum class Direction { Forwards, Backwards };

    void OnTick(const PlayTick& tick);
    void CountTick(const PlayTick& tick);
    bool OnSchedule() const;
    void ResetRun();

    int FrameRate() const;
    bool HasColumns() const;
    void SeatColumns(int frame);

    // One sound frame for every sound column, its sound cell moved one on.
    void WriteSoundFrames();
    void WriteSoundFrame(CNode& column);
    void StartSound();
    void StopSound();
    void FillPause(const QRect& picture);
    // The image items the current frame draws.
    std::vector<CNode*> FrameItems(int frame) const;
    // Whether every picture of the current frame is in memory: during a run
    // only finished read-ahead is taken (a picture still decoding makes the
    // frame late); otherwise a missing one is loaded now.
    bool PicturesReady();
    // Queues the pictures of the next second of frames, in play order, or
    // from a stopped player's step or jump in its direction.
    void ReadAhead(bool backwards);
    void SkipFrame();

    Links links_;
    // The run.
    bool playing_ = false;
    bool soundStarted_ = false;
    std::uint32_t framesCounted_ = 0;
    IPlayClock::TimePoint startTime_;
    FramePeriod period_;
    std::uint32_t skippedFrames_ = 0;
    IPlayClock::TimePoint windowStart_;
    std::uint32_t windowCount_ = 0;
    std::uint32_t lowestRate_ = 0;
    std::uint32_t highestRate_ = 0;
    std::uint32_t extraFrames_ = 0;
    bool resumeAfterPause_ = false;  // the frame the pause began at is still to show
    int returnCommand_ = 0;
    std::uint32_t endFrame_ = 0;
    bool backwards_ = false;
    bool slow_ = false;
    bool starting_ = false;  // StartPlayback is bringing the view up
};

}  // namespace kolvane
