#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "engine/Engine.h"
#include "tests/support/TestEnvironment.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/MovieDialog.h"
#include "ui/TextButton.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

class MovieDialogTest : public ::testing::Test {
  protected:
    MovieDialogTest() {
        dialog.SetMessageBox([this](int, int id) {
            messages.push_back(id);
            return answer;
        });
    }
    int Run(const std::function<void()>& act) {
        QTimer::singleShot(0, &dialog, [this, act] {
            act();
            // A failed assertion must not leave the test waiting.
            if (dialog.IsOpen() && dialog.Result() == 0) dialog.End(CBasicDialog::kClose);
        });
        return dialog.Run();
    }
    void Type(int field, const QString& text) {
        CTextButton* input = dialog.Row(field)->Field();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, text);
        input->Commit();
    }
    QString Shown(int field) const { return dialog.Row(field)->Text(); }
    void Ok() { QTest::mouseClick(dialog.Button(1), Qt::LeftButton, {}, {4, 4}); }

    QString documents = test::MakeTempDir(QStringLiteral("documents"));
    CEngine scene{CEngine::Headless{}};
    CMovieDialog dialog{nullptr, scene.settings, scene.sheet, scene.Writer(), documents};
    std::vector<int> messages;
    int answer = CBasicDialog::kClose;
};

TEST_F(MovieDialogTest, PresetsFillTheFieldsAndAnyOtherChoiceIsCustom) {
    const int result = Run([&] {
        EXPECT_EQ(dialog.windowTitle(), "Save Movie");
        EXPECT_EQ(Shown(CMovieDialog::kPreset), "master");
        EXPECT_EQ(Shown(CMovieDialog::kDestination), documents + "/My Movies");
        EXPECT_FALSE(dialog.Button(1)->isEnabled()) << "no name yet";
        EXPECT_EQ(dialog.Row(CMovieDialog::kReduction)->Items().value(0), "none");

        for (int step = 0; step < 3; ++step)
            dialog.Row(CMovieDialog::kPreset)->Step(1);
        EXPECT_EQ(Shown(CMovieDialog::kPreset), "webstream");
        EXPECT_EQ(Shown(CMovieDialog::kType), "MP4 movie");
        EXPECT_EQ(Shown(CMovieDialog::kResizing), "pillarbox");
        EXPECT_EQ(Shown(CMovieDialog::kReduction), "H.264/AVC");
        EXPECT_EQ(scene.settings.Get(MoviePreset), 3);
        EXPECT_FALSE(dialog.Row(CMovieDialog::kReduction)->Items().contains("H.264/AVC"));

        dialog.Row(CMovieDialog::kResizing)->Step(-1);
        EXPECT_EQ(Shown(CMovieDialog::kResizing), "letterbox");
        EXPECT_EQ(Shown(CMovieDialog::kPreset), "multimedia") << "the fields match it";
        dialog.Row(CMovieDialog::kResizing)->Step(-1);
        EXPECT_EQ(Shown(CMovieDialog::kPreset), "(custom)");
        dialog.Row(CMovieDialog::kResizing)->Step(1);
        dialog.Row(CMovieDialog::kResizing)->Step(1);
        EXPECT_EQ(Shown(CMovieDialog::kPreset), "webstream");

        Type(CMovieDialog::kResizing, "20000x10");
        EXPECT_EQ(Shown(CMovieDialog::kResizing), "8192x10") << "held to what a movie can be";
        Type(CMovieDialog::kName, "clip");
        EXPECT_TRUE(dialog.Button(1)->isEnabled());
        QTest::keyClick(dialog.Row(CMovieDialog::kName)->Field(), Qt::Key_Escape);
    });
    EXPECT_EQ(result, CBasicDialog::kCancel);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MovieDialogTest, OkRefusesWhatCannotBeAMovieAndKeepsAMovieTheUserKeeps) {
    const QString kept = documents + "/My Movies/kept.avi";
    const int result = Run([&] {
        Type(CMovieDialog::kName, "../outside");
        Ok();
        EXPECT_EQ(messages, std::vector<int>{60030});

        QFile(kept).open(QIODevice::WriteOnly);
        Type(CMovieDialog::kName, "kept");
        answer = CBasicDialog::kNo;
        Ok();
        EXPECT_EQ(messages.back(), 60023) << "replace existing movie ?";
        EXPECT_TRUE(dialog.IsOpen());

        // The scene shows no picture and no size is typed: nothing to
        // measure the movie by.
        Type(CMovieDialog::kName, "empty");
        Ok();
        EXPECT_EQ(messages.back(), msg::kCannotFindFiles);
        EXPECT_TRUE(dialog.IsOpen());
        dialog.End(CBasicDialog::kCancel);
    });
    EXPECT_EQ(result, CBasicDialog::kCancel);
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_EQ(QDir(documents + "/My Movies").entryList(QDir::Files | QDir::Hidden),
              QStringList{"kept.avi"});
}

// A movie the writer refuses says why, not only that it could not be saved.
TEST_F(MovieDialogTest, AFailedMovieSaysWhy) {
    Run([&] {
        Type(CMovieDialog::kName, "wide");
        Type(CMovieDialog::kResizing, "5000 x 2800");
        Ok();
        ASSERT_FALSE(messages.empty());
        EXPECT_TRUE(dialog.IsOpen());
        EXPECT_TRUE(dialog.LastMessage().contains(QStringLiteral("4096 pixels")))
            << dialog.LastMessage().toStdString();
        dialog.End(CBasicDialog::kCancel);
    });
    EXPECT_EQ(QDir(documents + "/My Movies").entryList(QDir::Files | QDir::Hidden), QStringList{});
}

}  // namespace
}  // namespace kolvane
