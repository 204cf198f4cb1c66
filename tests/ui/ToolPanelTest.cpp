#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>

#include "platform/StringTable.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/BasicButton.h"
#include "ui/ScrollBar.h"
#include "ui/ToolPanel.h"

namespace kolvane {
namespace {

using test::CCommandRecorder;

void Click(CBasicButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, {3, 3});
}

TEST(ToolPanelTest, PanelsCarryTheirButtonsTextsAndTooltips) {
    CCommandRecorder sink;
    struct Case {
        std::unique_ptr<CToolPanel> panel;
        std::vector<int> commands;  // name first, then the actions
        int firstTooltip;
    };
    Case cases[] = {
        {std::make_unique<CMdiaToolPanel>(sink, nullptr), {32843, 32839, 32840}, 50010},
        {std::make_unique<CGrabToolPanel>(sink, nullptr), {32858, 32852, 32853, 32854}, 50020},
        {std::make_unique<CXshtToolPanel>(sink, nullptr), {32873, 32870, 32871, 32872}, 50030},
        {std::make_unique<CPlayToolPanel>(sink, nullptr), {32897, 32891, 32893, 32894}, 50040},
    };
    const std::map<int, QString> texts = {
        {32843, "media"},     {32839, "add"},       {32840, "rename..."}, {32858, "grabber"},
        {32852, "level..."},  {32853, "grab"},      {32854, "regrab"},    {32873, "editor"},
        {32870, "duplicate"}, {32871, "remove"},    {32872, "edit..."},   {32897, "player"},
        {32891, "play"},      {32893, "step back"}, {32894, "step forw"},
    };
    for (Case& c : cases) {
        CToolPanel& panel = *c.panel;
        SCOPED_TRACE(c.commands[0]);
        EXPECT_TRUE(panel.Indicator()->Text().isEmpty());
        EXPECT_EQ(panel.Indicator()->CommandId(), c.commands[0]);
        EXPECT_EQ(panel.Indicator()->toolTip(), StringText(c.firstTooltip));
        for (std::size_t i = 0; i < c.commands.size(); ++i) {
            CBasicButton* button = panel.Button(c.commands[i]);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->Text(), texts.at(c.commands[i]));
            EXPECT_EQ(button->toolTip(), StringText(c.firstTooltip + static_cast<int>(i)));
        }
        EXPECT_EQ(panel.NameButton(), panel.Button(c.commands[0]));
    }
}

TEST(ToolPanelTest, ButtonsPostToTheFrameAndStepButtonsFireOnPressAndRelease) {
    CCommandRecorder sink;
    CPlayToolPanel panel(sink, nullptr);
    panel.resize(300, 60);
    Click(panel.Indicator());
    Click(panel.NameButton());
    Click(panel.Button(cmd::kPlay));
    Click(panel.Button(cmd::kStepBackButton));
    EXPECT_EQ(sink.posted, (std::vector<int>{32897, 32897, 32891, 32893, 32893}));
    EXPECT_TRUE(sink.sent.empty());
    // The indicator shows the frame's state, not its own clicks.
    EXPECT_FALSE(panel.IndicatorChecked());
    panel.SetIndicatorChecked(true);
    EXPECT_TRUE(panel.Indicator()->IsChecked());
}

TEST(ToolPanelTest, IdleRefreshEnablesButtonsByTheFramesAnswer) {
    CCommandRecorder sink;
    CXshtToolPanel panel(sink, nullptr);
    panel.UpdateCommandStates([](int id) {
        CommandState state;
        state.enabled = id != cmd::kDuplicate && id != cmd::kEditRange;
        return state;
    });
    EXPECT_FALSE(panel.Button(cmd::kDuplicate)->isEnabled());
    EXPECT_FALSE(panel.Button(cmd::kEditRange)->isEnabled());
    EXPECT_TRUE(panel.Button(cmd::kRemove)->isEnabled());
    Click(panel.Button(cmd::kDuplicate));
    EXPECT_TRUE(sink.posted.empty());
}

TEST(ToolPanelTest, TwoLinesWithTheIndicatorAndNameOnTopAndActionsBelow) {
    CCommandRecorder sink;
    CGrabToolPanel panel(sink, nullptr);
    panel.resize(360, 64);
    panel.show();
    const QRect indicator = panel.Indicator()->geometry();
    const QRect name = panel.NameButton()->geometry();
    EXPECT_EQ(indicator.top(), name.top());
    EXPECT_EQ(indicator.width(), indicator.height());
    EXPECT_LT(indicator.right(), name.left());
    const QRect level = panel.Button(cmd::kGrabLevel)->geometry();
    const QRect regrab = panel.Button(cmd::kRegrab)->geometry();
    EXPECT_GT(level.top(), name.bottom());
    EXPECT_EQ(level.top(), regrab.top());
    EXPECT_NEAR(level.width(), regrab.width(), 3);
    EXPECT_LE(regrab.right(), panel.width() - 1);
}

TEST(BasicPanelTest, WheelScrollsTheGridOneLinePerNotchWithinTheLimits) {
    CCommandRecorder sink;
    CBasicPanel panel(sink, QColor(CColors::kMediaView), nullptr);
    CVScrollBar vertical(panel.Colors(), &panel);
    panel.SetScrollBars(&vertical, nullptr);
    vertical.SetRange(0, 10);
    vertical.SetPage(8);
    auto wheel = [&panel](int delta) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&panel, &event);
    };
    wheel(-120);
    EXPECT_EQ(vertical.Position(), 1);
    wheel(-60);  // half a notch waits for the other half
    EXPECT_EQ(vertical.Position(), 1);
    wheel(-60);
    EXPECT_EQ(vertical.Position(), 2);
    wheel(-360);
    EXPECT_EQ(vertical.Position(), 2);  // held at maximum − page
    wheel(120 * 5);
    EXPECT_EQ(vertical.Position(), 0);
    EXPECT_FALSE(panel.HasScrollBars());
}

}  // namespace
}  // namespace kolvane
