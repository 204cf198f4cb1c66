#pragma once

#include <set>
#include <vector>

#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>
#include <QWidget>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "platform/Commands.h"

namespace kolvane::test {

// Counts the key events that reach a widget's own handlers.
class KeyProbe : public QObject {
  public:
    explicit KeyProbe(QWidget& widget) { widget.installEventFilter(this); }
    int presses = 0;
    int releases = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) ++presses;
        if (event->type() == QEvent::KeyRelease) ++releases;
        return false;
    }
};

// Sees every command the frame routes before any panel does, and lets it go
// on, except those it is told to take (to keep a confirmation box away).
class CommandSpy : public ICommandTarget {
  public:
    explicit CommandSpy(CMainFrame& frame);
    ~CommandSpy() override;

    bool OnCommand(int id) override;
    int Count(int id) const;
    std::vector<int> seen;
    std::set<int> takes;

  private:
    CMainFrame& frame_;
};

// Puts `frames` images of 64 x 48 (small textures already loaded) into the
// sheet's first column, named "walk", and recomputes the summaries.
void FillWalkColumn(CEngine& objects, int frames);

// A shown main frame over fresh process objects, its commands watched.
class FrameFixture : public ::testing::Test {
  protected:
    FrameFixture();

    // Puts `frames` frames of one image column on the sheet; the spy starts
    // afresh.
    void FillSheet(int frames);

    // No live video: its commands would mix with the ones the tests watch.
    CEngine objects{CEngine::Program{133, VideoDeviceMode::None}};
    CMainFrame frame{objects};
    CommandSpy spy{frame};
};

}  // namespace kolvane::test
