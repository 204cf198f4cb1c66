#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/OptionsDialog.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/TextButton.h"

namespace kolvane {
namespace {

class CRecordingSink : public ICommandSink {
  public:
    void SendCommand(int id) override { sent.push_back(id); }
    void PostCommand(int id) override { sent.push_back(id); }
    std::vector<int> sent;
};

class OptionsDialogTest : public ::testing::Test {
  protected:
    OptionsDialogTest() {
        dialog.Open(COptionsDialog::kGrabberPage);
        QApplication::setActiveWindow(&dialog);
        QApplication::processEvents();
    }
    // Types a value into a row the way the user does, then leaves it.
    void Type(int command, const QString& text) {
        CComboBar* row = dialog.Row(command);
        dialog.SelectPage(command >= 33091   ? COptionsDialog::kPlayerPage
                          : command >= 33086 ? COptionsDialog::kEditorPage
                                             : COptionsDialog::kGrabberPage);
        row->Field()->setFocus();
        QApplication::processEvents();
        QTest::keyClick(row->Field(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(row->Field(), text);
        row->Field()->Commit();
    }
    void Press(Qt::Key key) {
        QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
        QTest::keyClick(target, key);
    }

    CSettings settings{133};
    CRecordingSink sink;
    COptionsDialog dialog{settings, sink, nullptr};
};

TEST_F(OptionsDialogTest, PagesHoldTheirRowsLabelsChoicesAndTooltips) {
    struct Case {
        int command;
        const char* label;
        int tooltip;
        QStringList choices;  // empty for number rows
    };
    const Case cases[] = {
        {33081, "letterbox", 50101, CSettings::ChoiceTexts(GrabLetterbox)},
        {33082,
         "lightbox",
         50102,
         {"off", "last grabbed", "last 3 grabs", "select image", "rotoscope"}},
        {33083, "orientation", 50103, CSettings::ChoiceTexts(Orientation)},
        {33084, "motion cmd", 50104, CSettings::ChoiceTexts(MotionCommand)},
        {33085, "grab sound", 50105, {"none", "beep", "voice"}},
        {33086, "cell info", 50106, {"off", "counter", "thumbnail", "miniature"}},
        {33087, "auto timing", 50107, CSettings::ChoiceTexts(AutoTiming)},
        {33088, "column cnt", 50108, {}},
        {33089, "frame start", 50109, {}},
        {33090, "def timing", 50110, {}},
        {33091, "letterbox", 50101, CSettings::ChoiceTexts(PlayLetterbox)},
        {33092, "overlay", 50111, {"none", "counter"}},
        {33093, "play once", 50112, CSettings::ChoiceTexts(PlayOnce)},
        {33094, "framerate", 50113, CSettings::ChoiceTexts(FrameRate)},
        {33095, "loopmode", 50114, CSettings::ChoiceTexts(LoopMode)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        CComboBar* row = dialog.Row(c.command);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->Label(), QString::fromLatin1(c.label));
        EXPECT_EQ(row->toolTip(), StringText(c.tooltip));
        EXPECT_EQ(row->Items(), c.choices);
        EXPECT_EQ(row->RowKind(),
                  c.choices.isEmpty() ? CComboBar::Kind::kNumber : CComboBar::Kind::kList);
    }
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set options"));
    EXPECT_EQ(dialog.PageSelector()->toolTip(), QStringLiteral("Choose the options page"));
    EXPECT_EQ(dialog.PageSelector()->Items(),
              (QStringList{QStringLiteral("grabber"), QStringLiteral("editor"),
                           QStringLiteral("player")}));

    // Only the chosen page shows; the selector turns the pages.
    auto shown = [this] {
        std::vector<int> commands;
        for (int command = 33081; command <= 33095; ++command) {
            if (dialog.Row(command)->isVisible()) commands.push_back(command);
        }
        return commands;
    };
    EXPECT_EQ(shown(), (std::vector<int>{33081, 33082, 33083, 33084, 33085}));
    dialog.PageSelector()->Step(1);
    EXPECT_EQ(dialog.Page(), COptionsDialog::kEditorPage);
    EXPECT_EQ(shown(), (std::vector<int>{33086, 33087, 33088, 33089, 33090}));
    dialog.PageSelector()->Step(1);
    EXPECT_EQ(shown(), (std::vector<int>{33091, 33092, 33093, 33094, 33095}));
    EXPECT_EQ(dialog.PageSelector()->Text(), QStringLiteral("player"));
}

TEST_F(OptionsDialogTest, RowsShowTheShortFormAndSetFromTheirText) {
    EXPECT_EQ(dialog.Row(33081)->Text(), QStringLiteral("off"));
    EXPECT_EQ(dialog.Row(33094)->Text(), QStringLiteral("25 fps"));
    EXPECT_EQ(dialog.Row(33088)->Text(), QStringLiteral("5"));

    dialog.Row(33094)->Step(1);
    EXPECT_EQ(settings.Get(FrameRate), 30);
    EXPECT_EQ(dialog.Row(33094)->Text(), QStringLiteral("30 fps"));
    EXPECT_EQ(sink.sent, std::vector<int>{cmd::kFrameRateChanged});

    sink.sent.clear();
    dialog.Row(33085)->Step(1);  // grab sound: voice is the last offered
    dialog.Row(33085)->Step(-1);
    EXPECT_EQ(settings.Get(GrabSound), 1);  // beep
    EXPECT_TRUE(sink.sent.empty());

    dialog.Row(33082)->Step(1);  // lightbox: last grabbed -> last 3 grabs
    EXPECT_EQ(settings.Get(Lightbox), 2);
    EXPECT_EQ(sink.sent, std::vector<int>{cmd::kLightboxChanged});
}

TEST_F(OptionsDialogTest, EitherLetterboxRowSetsBothBytesAndBothRows) {
    for (const int command : {33081, 33091}) {
        SCOPED_TRACE(command);
        sink.sent.clear();
        CComboBar* row = dialog.Row(command);
        row->Step(1);
        const int value = settings.Get(GrabLetterbox);
        EXPECT_EQ(settings.Get(PlayLetterbox), value);
        EXPECT_EQ(dialog.Row(33081)->Text(), dialog.Row(33091)->Text());
        EXPECT_EQ(sink.sent, (std::vector<int>{cmd::kGrabberDisplaySettings, cmd::kGrabberRefresh,
                                               cmd::kPlayerDisplaySettings, cmd::kPlayerRefresh}));
    }
    EXPECT_EQ(settings.Get(GrabLetterbox), 177);
    EXPECT_EQ(dialog.Row(33091)->Text(), QStringLiteral("1.77:1"));
    dialog.Row(33091)->OpenList();
    EXPECT_EQ(dialog.Row(33091)->Items().last(), QStringLiteral("stretch (anamorphic video)"));
}

TEST_F(OptionsDialogTest, NumberRowsHoldTypedValuesToTheirLimits) {
    struct Case {
        int command;
        int setting;
        const char* typed;
        int stored;
        const char* shown;
    };
    const Case cases[] = {
        {33090, DefTiming, "0", 1, "1"},        {33090, DefTiming, "abc", 1, "1"},
        {33090, DefTiming, "3", 3, "3"},        {33088, ColumnCount, "12", 10, "10"},
        {33088, ColumnCount, "-4", 1, "1"},     {33088, ColumnCount, "7", 7, "7"},
        {33089, FrameStart, "300", 255, "255"},  // the record holds no more
        {33089, FrameStart, "0", 1, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " into " + std::to_string(c.command));
        Type(c.command, QString::fromLatin1(c.typed));
        EXPECT_EQ(settings.Get(c.setting), c.stored);
        EXPECT_EQ(dialog.Row(c.command)->Text(), QString::fromLatin1(c.shown));
    }
    sink.sent.clear();
    Type(33089, QStringLiteral("2"));
    EXPECT_EQ(sink.sent, (std::vector<int>{cmd::kPlayerDisplaySettings, cmd::kEditorRefresh,
                                           cmd::kPlayerRefresh}));
    sink.sent.clear();
    Type(33088, QStringLiteral("3"));
    EXPECT_EQ(sink.sent, std::vector<int>{cmd::kEditorColumnCount});
}

TEST_F(OptionsDialogTest, CancelRestoresBytesOneToFifteenAndTellsEveryPanelInOrder) {
    const std::array<int, 16> before = [this] {
        std::array<int, 16> bytes{};
        for (int i = 0; i < 16; ++i)
            bytes[static_cast<std::size_t>(i)] = settings.Get(i);
        return bytes;
    }();
    settings.Set(Brightness, 70);  // not the dialog's: stays
    dialog.Row(33081)->Step(1);
    dialog.Row(33094)->Step(-1);
    Type(33090, QStringLiteral("6"));
    ASSERT_NE(settings.Get(DefTiming), before[DefTiming]);
    sink.sent.clear();

    Press(Qt::Key_Escape);
    EXPECT_FALSE(dialog.IsOpen());
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(settings.Get(i), before[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(settings.Get(Brightness), 70);
    EXPECT_EQ(sink.sent,
              (std::vector<int>{32867, 33028, 32874, 32890, 32859, 33020, 32898, 33022, 33021}));
}

TEST_F(OptionsDialogTest, CancelWithAutoStoreLeavesTheStoredRecordAsRestored) {
    dialog.End(CBasicDialog::kOk);
    settings.Set(AutoStore, 1);
    dialog.Open(COptionsDialog::kPlayerPage);
    dialog.Row(33094)->Step(1);  // 30 fps, stored at once
    ASSERT_EQ(CSettings(133).Get(FrameRate), 30);
    dialog.SendDialogCommand(CBasicDialog::kCancel);
    EXPECT_EQ(settings.Get(FrameRate), 25);
    EXPECT_EQ(CSettings(133).Get(FrameRate), 25);
}

TEST_F(OptionsDialogTest, OkAndEnterKeepTheValuesIncludingAPendingEdit) {
    dialog.SelectPage(COptionsDialog::kEditorPage);
    CComboBar* timing = dialog.Row(33090);
    timing->Field()->setFocus();
    QApplication::processEvents();
    QTest::keyClicks(timing->Field(), QStringLiteral("4"));
    ASSERT_TRUE(timing->Field()->HasPendingEdit());
    Press(Qt::Key_Return);
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_EQ(settings.Get(DefTiming), 4);
    EXPECT_EQ(std::count(sink.sent.begin(), sink.sent.end(), 32867), 0);  // no Cancel notices
}

TEST_F(OptionsDialogTest, ReloadCommandShowsTheRecordAgain) {
    settings.Set(FrameRate, 15);
    settings.Set(ColumnCount, 9);
    EXPECT_TRUE(dialog.OnCommand(cmd::kOptionsReload));
    EXPECT_EQ(dialog.Row(33094)->Text(), QStringLiteral("15 fps"));
    EXPECT_EQ(dialog.Row(33088)->Text(), QStringLiteral("9"));
    EXPECT_FALSE(dialog.OnCommand(cmd::kGrabberRefresh));  // others pass on
}

TEST_F(OptionsDialogTest, TabReachesEveryControlOfThePageAndWraps) {
    dialog.PageSelector()->Field()->setFocus();
    QApplication::processEvents();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 14; ++i) {
        visited.push_back(dialog.focusWidget());
        Press(Qt::Key_Tab);
    }
    std::vector<QWidget*> expected = {dialog.PageSelector()->Field()};
    for (int command = 33081; command <= 33085; ++command) {
        expected.push_back(dialog.Row(command)->SwitchButton());
        expected.push_back(dialog.Row(command)->Field());
    }
    expected.push_back(dialog.Button(1));
    expected.push_back(dialog.Button(2));
    expected.push_back(dialog.PageSelector()->Field());
    EXPECT_EQ(visited, expected);
}

TEST_F(OptionsDialogTest, RowSwitchedOffByItsStoredStateCannotBeChanged) {
    CSettings::SetFieldState(QStringLiteral("loopmode"), false);
    COptionsDialog other(settings, sink, nullptr);
    other.Open(COptionsDialog::kPlayerPage);
    CComboBar* loop = other.Row(33095);
    EXPECT_FALSE(loop->IsSwitchedOn());
    loop->Step(1);
    EXPECT_EQ(settings.Get(LoopMode), 0);
    EXPECT_TRUE(other.Row(33094)->IsSwitchedOn());
}

}  // namespace
}  // namespace kolvane
