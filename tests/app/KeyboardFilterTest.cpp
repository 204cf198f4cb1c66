#include <gtest/gtest.h>

#include <set>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include "app/KeyboardFilter.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "tests/app/FrameFixture.h"
#include "ui/BasicButton.h"
#include "ui/BasicPanel.h"
#include "ui/ScrollBar.h"

namespace kolvane {
namespace {

struct RecordingSink : ICommandSink {
    void SendCommand(int id) override { sent.push_back(id); }
    void PostCommand(int id) override { posted.push_back(id); }
    std::vector<int> sent;
    std::vector<int> posted;
};

// A window with a grid panel (both scroll bars) and a panel of buttons of
// each firing kind, standing in for the frame.
class FakeHost : public IKeyboardHost {
  public:
    FakeHost() {
        window.resize(400, 300);
        grid = new CBasicPanel(sink, QColor(100, 120, 130), &window);
        grid->setGeometry(0, 0, 400, 200);
        vertical = new CVScrollBar(grid->Colors(), grid);
        horizontal = new CHScrollBar(grid->Colors(), grid);
        vertical->SetRange(0, 100);
        vertical->SetPage(10);
        horizontal->SetRange(0, 20);
        horizontal->SetPage(5);
        grid->SetScrollBars(vertical, horizontal);
        tools = new CBasicPanel(sink, QColor(120, 120, 110), &window);
        tools->setGeometry(0, 200, 400, 100);
        grab = tools->AddButton(cmd::kGrab, QStringLiteral("grab"), {}, CBasicButton::kPlain);
        play = tools->AddButton(cmd::kPlay, QStringLiteral("play"), {}, CBasicButton::kAutoRepeat);
        step = tools->AddButton(cmd::kStepBackButton, QStringLiteral("step back"), {},
                                CBasicButton::kPressRelease);
        child = new QWidget(tools);
        child->setFocusPolicy(Qt::StrongFocus);
        target = grid;
        window.show();
    }

    const QWidget* KeyWindow() const override { return &window; }
    bool GrabberVisible() const override { return grabber; }
    bool PlayerVisible() const override { return player; }
    QWidget* TargetPanel(QPoint) const override { return target; }
    CBasicButton* ToolButton(int command) override {
        CBasicButton* button = tools->Button(command);
        if (button != nullptr) button->setEnabled(!disabled.contains(command));
        return button;
    }
    CommandState QueryCommand(int id) override {
        CommandState state;
        state.enabled = !disabled.contains(id);
        return state;
    }
    void SendCommand(int id) override { sink.sent.push_back(id); }
    void GrabberDigit(int digit) override { digits.push_back(digit); }
    void PlayerGoToFrame(int frame) override { frames.push_back(frame); }

    // Fired buttons post their commands.
    int Fired(int command) const {
        return static_cast<int>(std::count(sink.posted.begin(), sink.posted.end(), command));
    }

    RecordingSink sink;
    QWidget window;
    CBasicPanel* grid;
    CVScrollBar* vertical;
    CHScrollBar* horizontal;
    CBasicPanel* tools;
    CBasicButton* grab;
    CBasicButton* play;
    CBasicButton* step;
    QWidget* child;
    QWidget* target;
    bool grabber = false;
    bool player = false;
    std::set<int> disabled;
    std::vector<int> digits;
    std::vector<int> frames;
};

class KeyboardFilterTest : public ::testing::Test {
  protected:
    void Key(QEvent::Type type, int key, bool repeat = false, QWidget* to = nullptr,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(type, key, modifiers, QString(), repeat);
        QApplication::sendEvent(to != nullptr ? to : &host.window, &event);
    }
    void Down(int key, bool repeat = false) { Key(QEvent::KeyPress, key, repeat); }
    void Up(int key) { Key(QEvent::KeyRelease, key); }

    CSettings settings{133};
    CXshtList sheet{settings};
    CMdiaList media;
    FakeHost host;
    CKeyboardFilter filter{host, settings, sheet};
};

TEST_F(KeyboardFilterTest, ScrollKeysWorkTheTargetPanelsBars) {
    Down(Qt::Key_PageDown);
    EXPECT_EQ(host.vertical->Position(), 10);
    Down(Qt::Key_End);
    EXPECT_EQ(host.vertical->Position(), 90);
    Down(Qt::Key_PageUp);
    EXPECT_EQ(host.vertical->Position(), 80);
    Down(Qt::Key_Home);
    EXPECT_EQ(host.vertical->Position(), 0);

    // The arrows press the bars' repeating arrow buttons: one line per key
    // down, the keyboard's repeat included; the key up lets go.
    Down(Qt::Key_Down);
    Down(Qt::Key_Down, true);
    Down(Qt::Key_Down, true);
    EXPECT_TRUE(host.vertical->OnButton()->IsShownPressed());
    Up(Qt::Key_Down);
    EXPECT_EQ(host.vertical->Position(), 3);
    EXPECT_FALSE(host.vertical->OnButton()->IsShownPressed());
    Down(Qt::Key_Right);
    Up(Qt::Key_Right);
    Down(Qt::Key_Left);
    Down(Qt::Key_Left);
    EXPECT_EQ(host.horizontal->Position(), 0);
    EXPECT_TRUE(host.sink.posted.empty());  // no tool button was pressed

    // Without bars the arrows press the step button instead.
    host.target = host.tools;
    Down(Qt::Key_PageDown);
    Down(Qt::Key_Left);
    EXPECT_EQ(host.vertical->Position(), 3);
    EXPECT_EQ(host.Fired(cmd::kStepBackButton), 1);
}

TEST_F(KeyboardFilterTest, EachKindOfButtonFiresByItsRules) {
    struct Case {
        int key;
        int command;
        int afterDown;    // fired by the first key down
        int afterRepeat;  // ... and by two repeats
        int afterUp;
    };
    const Case cases[] = {
        {Qt::Key_Return, cmd::kGrab, 0, 0, 1},          // plain: on release
        {Qt::Key_Space, cmd::kPlay, 1, 3, 3},           // repeating: every key down
        {Qt::Key_Left, cmd::kStepBackButton, 1, 1, 2},  // press and release
    };
    host.target = nullptr;
    for (const Case& c : cases) {
        Down(c.key);
        EXPECT_EQ(host.Fired(c.command), c.afterDown) << c.key;
        Down(c.key, true);
        Key(QEvent::KeyRelease, c.key, true);  // repeats come in pairs; the up is no release
        Down(c.key, true);
        EXPECT_EQ(host.Fired(c.command), c.afterRepeat) << c.key;
        Up(c.key);
        EXPECT_EQ(host.Fired(c.command), c.afterUp) << c.key;
    }
}

TEST_F(KeyboardFilterTest, NothingFiresWhileEscapeIsHeldOrWithoutItsOwnKeyDown) {
    host.target = nullptr;
    Down(Qt::Key_Escape);
    Down(Qt::Key_Left);
    Up(Qt::Key_Left);
    Up(Qt::Key_Escape);
    EXPECT_TRUE(host.sink.posted.empty());

    // A key up whose key down went elsewhere (to a dialog it closed) does
    // not fire the button the key pressed before.
    Down(Qt::Key_Return);
    Up(Qt::Key_Return);
    Up(Qt::Key_Return);
    EXPECT_EQ(host.Fired(cmd::kGrab), 1);

    Down(Qt::Key_Return);
    EXPECT_TRUE(host.grab->IsShownPressed());
    Down(Qt::Key_Space);  // another button: the first one lets go unfired
    EXPECT_FALSE(host.grab->IsShownPressed());
    Up(Qt::Key_Return);
    EXPECT_EQ(host.Fired(cmd::kGrab), 1);
}

TEST_F(KeyboardFilterTest, KeysOfADisabledButtonClimbToTheWindowLikeAnyOther) {
    host.disabled = {cmd::kGrab};
    test::KeyProbe atWindow(host.window);
    Key(QEvent::KeyPress, Qt::Key_Return, false, host.child);
    Key(QEvent::KeyRelease, Qt::Key_Return, false, host.child);
    EXPECT_EQ(atWindow.presses, 1);
    EXPECT_EQ(atWindow.releases, 1);
    EXPECT_EQ(host.Fired(cmd::kGrab), 0);

    Key(QEvent::KeyPress, Qt::Key_Q, false, host.child);  // unbound: dropped at once
    EXPECT_EQ(atWindow.presses, 1);
}

TEST_F(KeyboardFilterTest, PlayerKeysJumpBySecondsAndAnEmptySheetStays) {
    host.player = true;
    host.target = nullptr;
    Down(Qt::Key_End);
    Down(Qt::Key_Home);
    Down(Qt::Key_PageDown);
    EXPECT_TRUE(host.frames.empty());  // no frame to go to, and never frame -2

    CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/walk 0001.png"));
    for (int k = 0; k < 10; ++k)
        sheet.AppendCell(item, 0);
    sheet.Normalise();
    const int last = sheet.FrameCount() - 1;  // the trailing blank row is no frame
    ASSERT_GT(last, 3);
    sheet.SetCurrentFrame(3);
    Down(Qt::Key_End);
    Down(Qt::Key_Home);
    Down(Qt::Key_PageUp);
    Down(Qt::Key_PageDown);
    // The player takes a frame before the first as the last one.
    EXPECT_EQ(host.frames, (std::vector<int>{last, 0, 3 - 25, 3 + 25}));
}

TEST_F(KeyboardFilterTest, TheGrabberTakesItsArrowsF11AndDigitsAndF12PlaysOnce) {
    host.grabber = true;
    Down(Qt::Key_Left);
    Down(Qt::Key_Right);
    Down(Qt::Key_F11);
    Down(Qt::Key_F12);
    Key(QEvent::KeyPress, Qt::Key_4, false, nullptr, Qt::KeypadModifier);
    EXPECT_EQ(host.sink.sent, (std::vector<int>{cmd::kShowPrev, cmd::kShowNext, cmd::kLoopSelected,
                                                cmd::kPlayOnce}));
    EXPECT_EQ(host.digits, (std::vector<int>{4}));
    EXPECT_EQ(host.horizontal->Position(), 0);  // the grabber's arrows come first
    EXPECT_TRUE(host.sink.posted.empty());
}

TEST_F(KeyboardFilterTest, TheWheelGoesToTheTargetPanel) {
    const QPointF at(10, 10);
    QWheelEvent wheel(at, host.tools->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(host.tools, &wheel);
    EXPECT_EQ(host.vertical->Position(), 2);
}

// Records the mouse events a widget is given.
class MouseProbe : public QWidget {
  public:
    using QWidget::QWidget;
    struct Seen {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;

  protected:
    void mousePressEvent(QMouseEvent* e) override { Record(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Record(e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { Record(e); }

  private:
    void Record(QMouseEvent* e) { seen.push_back({e->type(), e->button(), e->buttons()}); }
};

TEST_F(KeyboardFilterTest, DoubleClicksAreSingleClicksAndTheMiddleButtonIsTheLeft) {
    auto* probe = new MouseProbe(&host.window);
    const auto send = [probe](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(1, 1), probe->mapToGlobal(QPointF(1, 1)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(probe, &event);
    };
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton);
    send(QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::MiddleButton, Qt::MiddleButton);
    using S = MouseProbe::Seen;
    EXPECT_EQ(probe->seen,
              (std::vector<S>{{QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton},
                              {QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton},
                              {QEvent::MouseButtonPress, Qt::LeftButton, Qt::MiddleButton},
                              {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton},
                              {QEvent::MouseButtonPress, Qt::LeftButton, Qt::MiddleButton}}));

    // So a middle click presses a button.
    QTest::mouseClick(host.grab, Qt::MiddleButton, {}, QPoint(2, 2));
    EXPECT_EQ(host.Fired(cmd::kGrab), 1);
}

TEST_F(KeyboardFilterTest, OtherWindowsKeepTheirKeys) {
    QWidget other;
    test::KeyProbe keys(other);
    other.show();
    Key(QEvent::KeyPress, Qt::Key_Return, false, &other);
    Key(QEvent::KeyPress, Qt::Key_Q, false, &other);
    EXPECT_EQ(keys.presses, 2);
    EXPECT_FALSE(host.grab->IsShownPressed());
}

}  // namespace
}  // namespace kolvane
