#pragma once

namespace kolvane {

// A progress window as long operations see it, free of any widget code: the
// storage, import, image loading and movie writing loops take an IProgress*
// and the user interface hands them its progress dialog.
//
// The loop opens it, sets the range, steps it once per unit of work and closes
// it. Step keeps the program responsive (it lets pending events run) and
// answers how the user wants the loop to go on.
class IProgress {
  public:
    // What Step answers.
    static constexpr int kGoOn = 0;    // nothing was pressed
    static constexpr int kAbort = 3;   // "abort": undo or give up the work
    static constexpr int kClosed = 8;  // the window's close box: treat as abort
    static constexpr int kStop = 10;   // "stop": keep what is done, end early

    // Button sets a progress window offers.
    static constexpr int kNoButtons = 0;
    static constexpr int kAbortStop = 4;  // "abort" 3 and "stop" 10

    virtual ~IProgress() = default;

    // Shows the window titled with string `titleId`; clears range, position
    // and answer.
    virtual void Open(int titleId, int buttonSet) = 0;
    virtual void SetRange(int total) = 0;
    // Moves the bar to `position` of the range and answers kGoOn until a
    // button or the close box was used, then that button's code every time.
    virtual int Step(int position) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

// Progress that shows nothing and never stops a loop: for command-line tools
// and for callers without a window.
class CNoProgress final : public IProgress {
  public:
    void Open(int, int) override { open_ = true; }
    void SetRange(int) override {}
    int Step(int) override { return kGoOn; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

  private:
    bool open_ = false;
};

}  // namespace kolvane
