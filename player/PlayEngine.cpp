#include "player/PlayEngine.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QRect>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "player/PlayAhead.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"

namespace kolvane {
namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr int kFullSpeedHz = 48000;
constexpr int kHalfSpeedHz = 24000;

enum LoopModes : int { kLoopContinuous = 0, kLoopExtraWhite = 1, kLoopExtraBlack = 2 };

// Runs on scenes this short are not worth a statistics report.
constexpr int kStatisticsMinFrames = 8;

bool IsOn(const CNode& column) {
    return (column.flags & kFlagOn) != 0;
}

bool IsSoundColumn(const CNode& column) {
    return (column.summary->typeBits & kTypeSound) != 0;
}

}  // namespace

CPlayEngine::CPlayEngine(const Links& links) : links_(links) {}

CPlayEngine::~CPlayEngine() {
    // The view goes first: nothing here may call back into it.
    links_.ticks->Stop();
    StopSound();
}

bool CPlayEngine::OnCommand(int id) {
    switch (id) {
        case cmd::kPlay:
            TogglePlay();
            return true;
        case cmd::kStepBackButton:
            ToggleBackwards();
            return true;
        case cmd::kStepForwButton:
            ToggleSlow();
            return true;
        case cmd::kStepBack:
            StepBack();
            return true;
        case cmd::kStepForw:
            StepForward();
            return true;
        case cmd::kPlayerRefresh:
            // A run redraws at its next tick; drawing here as well would
            // write a second sound frame for this one.
            if (!playing_) ShowFrame();
            return true;
        case cmd::kFrameRateChanged:
            RefitSoundCells();
            return true;
        default:
            return false;
    }
}

void CPlayEngine::TogglePlay() {
    if (playing_) {
        StopPlayback();
    } else {
        StartPlayback();
    }
}

void CPlayEngine::ToggleBackwards() {
    if (backwards_) {
        StopPlayback();
        return;
    }
    backwards_ = true;
    StartPlayback();
}

void CPlayEngine::ToggleSlow() {
    if (slow_) {
        StopPlayback();
        return;
    }
    slow_ = true;
    StartPlayback();
}

void CPlayEngine::PlayOnce(int returnCommand) {
    returnCommand_ = returnCommand;
    TogglePlay();
}

void CPlayEngine::StartPlayback() {
    if (playing_) return;
    IPlayView& view = *links_.view;
    view.CloseStatistics();
    view.SetTooltipsActive(false);
    // Nothing is read from disk during the run.
    links_.display->LoadPendingImages(true);
    ShowFrame();
    const bool halfSpeed = slow_ || backwards_;
    if (!halfSpeed) view.HideInfoStripForRun();

    CXshtList& sheet = *links_.sheet;
    const int last = std::max(LastFrame(), 0);
    if (returnCommand_ != 0) {
        const int length = links_.settings->Get(kolvane::PlayOnce);
        int first = 0;
        if (length == 0) {
            endFrame_ = static_cast<std::uint32_t>(last);
        } else {
            const int end = returnCommand_ == cmd::kViewGrabber ? last : sheet.CurrentFrame();
            endFrame_ = static_cast<std::uint32_t>(end);
            first = length > end ? 0 : end - length;
        }
        GoToFrame(static_cast<std::uint32_t>(first));
    } else if (!view.IsShown()) {
        GoToFrame(0);
    }
    if (!view.IsShown()) {
        // Bringing the view up must not stop the run being started.
        starting_ = true;
        links_.sink->SendCommand(cmd::kViewPlayer);
        starting_ = false;
    }

    const int rate = halfSpeed ? FrameRate() / 2 : FrameRate();
    lowestRate_ = static_cast<std::uint32_t>(rate);
    highestRate_ = static_cast<std::uint32_t>(rate);
    period_ = FramePeriod(FrameRate(), halfSpeed);
    playing_ = links_.ticks->Start(period_, [this](const PlayTick& tick) { OnTick(tick); });
    if (!playing_) {
        view.SetTooltipsActive(true);
        view.RestoreInfoStrip();
        StopPlayback();
        return;
    }
    // The first tick's pictures, in the run's order (not the order of the
    // jump to its first frame).
    ReadAhead(backwards_);
}

void CPlayEngine::StopPlayback() {
    if (playing_) {
        links_.ticks->Stop();
        playing_ = false;
        IPlayView& view = *links_.view;
        view.SetTooltipsActive(true);
        view.Invalidate();
        view.RestoreInfoStrip();
        if (skippedFrames_ > 0 && links_.sheet->FrameCount() > kStatisticsMinFrames)
            view.ShowStatistics(Statistics());
    }
    StopSound();
    backwards_ = false;
    slow_ = false;
    // A once-run that was stopped early must not make the next run a once-run.
    returnCommand_ = 0;
    ResetRun();
}

void CPlayEngine::ResetRun() {
    framesCounted_ = 0;
    startTime_ = {};
    period_ = {};
    skippedFrames_ = 0;
    windowStart_ = {};
    windowCount_ = 0;
    lowestRate_ = 0;
    highestRate_ = 0;
    extraFrames_ = 0;
    resumeAfterPause_ = false;
}

void CPlayEngine::OnTick(const PlayTick& tick) {
    if (!playing_) return;
    if (backwards_) {
        StepBack();
    } else {
        StepForward();
    }
    if (playing_) CountTick(tick);
}

void CPlayEngine::CountTick(const PlayTick& tick) {
    const IPlayClock::TimePoint now = links_.clock->Now();
    // The schedule runs from when the first tick was due, not from when it
    // happened to be served.
    if (++framesCounted_ == 1) startTime_ = tick.deadline;
    if (windowCount_++ == 0) windowStart_ = now;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - windowStart_).count();
    if (elapsed > 1000) {
        const auto rate = static_cast<std::uint32_t>(windowCount_ * 1000ll / elapsed);
        windowCount_ = 0;
        lowestRate_ = std::min(lowestRate_, rate);
        highestRate_ = std::max(highestRate_, rate);
    }
}

bool CPlayEngine::OnSchedule() const {
    if (framesCounted_ <= 1) return true;
    return links_.clock->Now() - startTime_ <= period_.Ticks(framesCounted_ + 1ll);
}

int CPlayEngine::FrameRate() const {
    return std::max(1, links_.settings->Get(kolvane::FrameRate));
}

int CPlayEngine::LastFrame() const {
    return links_.sheet->SheetLength() - 2;
}

bool CPlayEngine::HasColumns() const {
    return !links_.sheet->Levels().empty();
}

const CNode* CPlayEngine::CurrentCell(const CNode& column) {
    return column.children->at(column.summary->currentCell);
}

bool CPlayEngine::CellPasses(const CNode& cell) const {
    return links_.sheet->Totals().selected < 2 || cell.IsSelected();
}

bool CPlayEngine::ShowsSomething() const {
    for (const CNode* column : links_.sheet->Levels()) {
        if (!IsOn(*column)) continue;
        const CNode* cell = CurrentCell(*column);
        if (cell != nullptr && CellPasses(*cell)) return true;
    }
    return false;
}

void CPlayEngine::SeatColumns(int frame) {
    for (CNode* column : links_.sheet->Levels())
        column->summary->currentCell = frame;
}

void CPlayEngine::StepForward() {
    if (!HasColumns()) return;
    const int last = LastFrame();
    if (last < 0) return;
    CXshtList& sheet = *links_.sheet;
    int i = sheet.CurrentFrame();
    // At most one pass: when nothing shows anywhere, stepping ends where it
    // began instead of going round for ever.
    for (int pass = 0; pass <= last; ++pass) {
        if (returnCommand_ != 0 && playing_ && static_cast<int>(endFrame_) <= i) {
            const int command = std::exchange(returnCommand_, 0);
            links_.sink->PostCommand(command);
            if (command != cmd::kPlay) StopPlayback();
            return;
        }
        if (extraFrames_ > 0) break;
        if (resumeAfterPause_) {
            // The pause held frame 0 back: it shows now.
            resumeAfterPause_ = false;
            if (ShowsSomething()) break;
        }
        i = i < last ? i + 1 : 0;
        for (CNode* column : sheet.Levels()) {
            CListInfo& info = *column->summary;
            if (i == 0) {
                info.currentCell = 0;
            } else if (info.currentCell + 1 < column->children->size()) {
                ++info.currentCell;
            }
        }
        if (i == 0) {
            StopSound();
            if (extraFrames_ == 0 && playing_ &&
                links_.settings->Get(LoopMode) != kLoopContinuous) {
                extraFrames_ = static_cast<std::uint32_t>(FrameRate());
                resumeAfterPause_ = true;
            }
        }
        if (ShowsSomething()) break;
    }
    sheet.SetCurrentFrame(i);
    ShowFrame();
    if (!playing_) ReadAhead(false);
}

void CPlayEngine::StepBack() {
    if (!HasColumns()) return;
    const int last = LastFrame();
    if (last < 0) return;
    CXshtList& sheet = *links_.sheet;
    int i = sheet.CurrentFrame();
    if (i > last) i = 0;
    for (int pass = 0; pass <= last; ++pass) {
        i = i > 0 ? i - 1 : last;
        for (CNode* column : sheet.Levels()) {
            CListInfo& info = *column->summary;
            if (i == last || i == column->children->size() - 1) {
                info.currentCell = i;
            } else {
                info.currentCell = std::max(info.currentCell - 1, -1);
            }
        }
        if (ShowsSomething()) break;
    }
    sheet.SetCurrentFrame(i);
    ShowFrame();
    if (!playing_) ReadAhead(true);
}

void CPlayEngine::GoToFrame(std::uint32_t frame) {
    const int last = LastFrame();
    if (!HasColumns() || last < 0) {
        ShowFrame();
        return;
    }
    const int from = links_.sheet->CurrentFrame();
    // A jump back before frame 0 comes as a frame beyond any sheet.
    const bool backwards = static_cast<std::int32_t>(frame) < from;
    const auto length = static_cast<std::uint32_t>(links_.sheet->SheetLength());
    if (frame > length) frame -= length;
    frame = std::min(frame, static_cast<std::uint32_t>(last));
    SeatColumns(static_cast<int>(frame));
    // Stepping on goes from here, where the columns now stand.
    links_.sheet->SetCurrentFrame(static_cast<int>(frame));
    if (ShowsSomething()) {
        ShowFrame();
    } else {
        StepForward();
    }
    if (!playing_ && links_.sheet->CurrentFrame() != from) ReadAhead(backwards);
}

void CPlayEngine::CurrentFrameMoved(int from) {
    const int current = links_.sheet->CurrentFrame();
    if (!playing_ && current != from) ReadAhead(current < from);
}

void CPlayEngine::ShowFrame() {
    IPlayView& view = *links_.view;
    if (!view.IsShown()) return;
    CDirect3D& display = *links_.display;
    const QRect picture = display.GetPictureRect();

    if (!HasColumns()) {
        display.Clear(std::nullopt, kBlack);
        display.Clear(display.GetPictureRect(), kWhite);
        view.DrawOverlays();
        view.PresentFrame();
        return;
    }
    if (playing_) {
        if (!soundStarted_ && extraFrames_ == 0) {
            StartSound();
        } else if (soundStarted_ && extraFrames_ > 0) {
            StopSound();
        }
        if (!OnSchedule()) {
            SkipFrame();
            ReadAhead(backwards_);
            return;
        }
    }
    if (extraFrames_ > 0) {
        --extraFrames_;
        FillPause(picture);
        return;
    }

    CXshtList& sheet = *links_.sheet;
    if (sheet.SheetLength() == 0) return;
    if (sheet.CurrentFrame() > LastFrame()) {
        SeatColumns(0);
        sheet.SetCurrentFrame(0);
    }
    // A picture beyond the memory budget that is not read yet makes the
    // frame late, by the same rule as a late tick: nothing waits on a decode.
    if (!PicturesReady()) {
        SkipFrame();
        ReadAhead(backwards_);
        return;
    }
    display.Clear(std::nullopt, kBlack);
    const QRect viewport = display.GetViewportRect();
    bool layered = false;
    for (CNode* column : sheet.Levels()) {
        if (!IsOn(*column)) continue;
        const CNode* cell = CurrentCell(*column);
        if (cell == nullptr) continue;
        if (playing_ && IsSoundColumn(*column)) WriteSoundFrame(*column);
        const CNode* item = cell->item;
        if (CellPasses(*cell) && item != nullptr && item->HasAny(kTypeImage) &&
            !item->texture.isNull()) {
            display.DrawImage(viewport, *item, layered, kFitMonitor);
            layered = true;
        }
    }
    if (!layered) display.Clear(display.GetPictureRect(), kWhite);
    view.DrawOverlays();
    view.PresentFrame();
    if (playing_) ReadAhead(backwards_);
}

void CPlayEngine::SkipFrame() {
    // Only the picture is dropped: the frame still goes by, so that the
    // sound neither falls behind nor plays what it played before.
    ++skippedFrames_;
    if (extraFrames_ > 0) {
        --extraFrames_;
    } else {
        WriteSoundFrames();
    }
}

std::vector<CNode*> CPlayEngine::FrameItems(int frame) const {
    std::vector<CNode*> items;
    for (CNode* column : links_.sheet->Levels()) {
        if (!IsOn(*column)) continue;
        const CNode* cell = column->children->at(frame);
        if (cell == nullptr || !CellPasses(*cell)) continue;
        CNode* item = cell->item;
        if (item != nullptr && item->HasAny(kTypeImage) && item->imageInfo) items.push_back(item);
    }
    return items;
}

bool CPlayEngine::PicturesReady() {
    CDirect3D& display = *links_.display;
    bool ready = true;
    for (CNode* column : links_.sheet->Levels()) {
        if (!IsOn(*column)) continue;
        const CNode* cell = CurrentCell(*column);
        if (cell == nullptr || !CellPasses(*cell)) continue;
        CNode* item = cell->item;
        if (item == nullptr || !item->HasAny(kTypeImage) || !item->imageInfo) continue;
        if ((item->flags & kFlagLoadFailed) != 0) continue;
        // Both count a hit when the texture is there.
        const bool loaded = playing_ ? display.TakeReadAhead(*item) : display.LoadNow(*item);
        // A picture that failed now is drawn as such; one still decoding is late.
        if (!loaded && (item->flags & kFlagLoadFailed) == 0 && playing_) ready = false;
    }
    return ready;
}

void CPlayEngine::ReadAhead(bool backwards) {
    if (!HasColumns()) return;
    PlayAheadState state;
    state.current = links_.sheet->CurrentFrame();
    state.last = LastFrame();
    state.backwards = backwards;
    if (returnCommand_ != 0) state.endFrame = static_cast<int>(endFrame_);
    // The pictures shown now come first: they are the last to be released.
    std::vector<CNode*> order = FrameItems(state.current);
    for (int frame : FramesAhead(state, FrameRate())) {
        for (CNode* item : FrameItems(frame)) {
            if (std::find(order.begin(), order.end(), item) == order.end()) order.push_back(item);
        }
    }
    links_.display->ReadAhead(order);
}

void CPlayEngine::FillPause(const QRect& picture) {
    const int mode = links_.settings->Get(LoopMode);
    if (mode != kLoopExtraWhite && mode != kLoopExtraBlack) return;  // hold last: keep it
    CDirect3D& display = *links_.display;
    display.Clear(std::nullopt, kBlack);
    display.Clear(picture, mode == kLoopExtraWhite ? kWhite : kBlack);
    links_.view->PresentFrame();
}

void CPlayEngine::WriteSoundFrames() {
    for (CNode* column : links_.sheet->Levels()) {
        if (IsOn(*column) && CurrentCell(*column) != nullptr && IsSoundColumn(*column))
            WriteSoundFrame(*column);
    }
}

void CPlayEngine::WriteSoundFrame(CNode& column) {
    CListInfo& track = *column.summary;
    const CNodeList& cells = *column.children;
    const int count = cells.size();
    const int at = track.currentSoundCell != nullptr ? cells.indexOf(track.currentSoundCell) : -1;
    int next;
    // The trailing cell is never played: forwards the sound comes round to
    // the first cell, backwards to the last cell that is shown.
    if (!backwards_) {
        next = at < 0 || at + 1 >= count - 1 ? 0 : at + 1;
    } else {
        next = at <= 0 || at >= count - 1 ? count - 2 : at - 1;
    }
    track.currentSoundCell = cells.at(next);
    links_.storage->WriteSoundFrame(track, backwards_);
}

void CPlayEngine::StartSound() {
    soundStarted_ = true;
    CDirectSound& sound = *links_.sound;
    const int frames = FrameRate();
    const int hz = slow_ || backwards_ ? kHalfSpeedHz : kFullSpeedHz;
    for (CNode* column : links_.sheet->Levels()) {
        if (!IsOn(*column) || !IsSoundColumn(*column)) continue;
        CListInfo& track = *column->summary;
        const CNodeList& cells = *column->children;
        const int count = cells.size();
        sound.AlignTrack(track);
        sound.SetTrackFrequency(track, hz);
        // One second ahead, starting with the current cell.
        int at = track.currentCell;
        for (int k = 0; k < frames; ++k) {
            if (at < 0 || at >= count - 1) at = backwards_ ? count - 2 : 0;
            track.currentSoundCell = cells.at(at);
            links_.storage->WriteSoundFrame(track, backwards_);
            at += backwards_ ? -1 : 1;
        }
        sound.PlayTrack(track);
    }
}

void CPlayEngine::StopSound() {
    soundStarted_ = false;
    // Every sound column, also one switched off during the run, whose ring
    // would otherwise go on looping.
    for (CNode* column : links_.sheet->Levels()) {
        if (IsSoundColumn(*column)) links_.sound->StopTrack(*column->summary);
    }
}

void CPlayEngine::RefitSoundCells() {
    const bool ran = playing_;
    StopPlayback();
    if (links_.title != nullptr) links_.title->Refresh();
    links_.storage->RefitSoundCells(*links_.sheet);
    links_.media->RecomputeSummaries();
    links_.sheet->RecomputeSummaries();
    links_.sink->SendCommand(cmd::kSheetChanged);
    if (ran) StartPlayback();
}

void CPlayEngine::ViewShown(bool shown) {
    if (!starting_) StopPlayback();
    if (shown) {
        GoToFrame(static_cast<std::uint32_t>(links_.sheet->CurrentFrame()));
    } else {
        links_.sink->SendCommand(cmd::kEditorGoToCurrent);
    }
}

}  // namespace kolvane
