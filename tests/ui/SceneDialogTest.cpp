#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "tests/support/TestEnvironment.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/SceneDialog.h"
#include "ui/TextButton.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

struct Call {
    QString procedure;
    QString folder;
    QStringList extensions;
};

class SceneDialogTest : public ::testing::Test {
  protected:
    SceneDialogTest() {
        CSceneDialog::Procedures procedures;
        procedures.openScene = [this](const QString& folder, const QStringList& extensions) {
            calls.push_back({"open", folder, extensions});
            return answer;
        };
        procedures.saveScene = [this](const QString& folder, const QString& extension) {
            calls.push_back({"save", folder, {extension}});
            return answer;
        };
        procedures.openSceneTiming = [this](const QString& folder) {
            calls.push_back({"timing", folder, {}});
            return answer;
        };
        dialog = std::make_unique<CSceneDialog>(nullptr, settings, title, std::move(procedures),
                                                documents);
        dialog->SetMessageBox([this](int, int id) {
            messages.push_back(id);
            return CBasicDialog::kClose;
        });
    }
    // Runs the dialog in `kind` and acts once it is open and has filled its
    // lists.
    int Run(int kind, const std::function<void()>& act) {
        QTimer::singleShot(0, dialog.get(), [this, act] {
            QApplication::processEvents();
            act();
            // A failed assertion must not leave the test waiting.
            if (dialog->IsOpen() && dialog->Result() == 0) dialog->End(CBasicDialog::kClose);
        });
        return dialog->Run(kind);
    }
    void Type(int field, const QString& text) {
        CTextButton* input = dialog->Row(field)->Field();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty()) {
            QTest::keyClick(input, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(input, text);
        }
        input->Commit();
    }
    QString Shown(int field) const { return dialog->Row(field)->Text(); }
    bool OkOn() const { return dialog->Button(1)->isEnabled(); }
    void Ok() { QTest::mouseClick(dialog->Button(1), Qt::LeftButton, {}, {4, 4}); }
    QString Scenes() const { return documents + "/My Scenes"; }

    QString documents = test::MakeTempDir(QStringLiteral("documents"));
    CSettings settings{CSettings::Unstored{}};
    CTitleBar title{settings};
    std::unique_ptr<CSceneDialog> dialog;
    std::vector<Call> calls;
    std::vector<int> messages;
    Result answer = kOk;
};

TEST_F(SceneDialogTest, OpenSceneCompletesTheLevelsAndOpensTheFolderFound) {
    const QString scene = Scenes() + "/robot/intro/shot 1/v2";
    ASSERT_TRUE(QDir().mkpath(scene));
    QFile(scene + "/walk 0001.png").open(QIODevice::WriteOnly);

    const int result = Run(CSceneChooser::kOpenScene, [&] {
        EXPECT_EQ(dialog->windowTitle(), "Open Scene");
        EXPECT_EQ(dialog->Labels(), (QStringList{"preset", "format", "base", "title", "sequence",
                                                 "scene", "version"}));
        EXPECT_EQ(Shown(CSceneDialog::kLevel1), Scenes());
        EXPECT_EQ(dialog->Row(CSceneDialog::kLevel2)->Items(), (QStringList{"", "robot"}));
        EXPECT_TRUE(dialog->Row(CSceneDialog::kFormat)->Items().contains("TGA images"));
        EXPECT_EQ(dialog->Row(CSceneDialog::kLevel3)->Field()->toolTip(),
                  "Enter the sequence's name");
        EXPECT_FALSE(OkOn());
        Type(CSceneDialog::kLevel5, "v2");
        EXPECT_EQ(Shown(CSceneDialog::kLevel2), "robot");
        EXPECT_EQ(Shown(CSceneDialog::kLevel3), "intro");
        EXPECT_EQ(Shown(CSceneDialog::kLevel4), "shot 1");
        ASSERT_TRUE(OkOn());
        Ok();
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procedure, "open");
    EXPECT_EQ(calls[0].folder, scene + "/");
    EXPECT_EQ(calls[0].extensions.size(), 8) << "every image kind and the WAV and AIFF sounds";
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "Brevanta", "Kolvane");
    EXPECT_EQ(store.value("LastScene/Level4").toString(), "shot 1");
    EXPECT_FALSE(store.contains("LastScene/Preset")) << "an open keeps no preset";
}

TEST_F(SceneDialogTest, SaveSceneAsksForEveryLevelRefusesBadNamesAndStaysOpenOnAFailure) {
    const int result = Run(CSceneChooser::kSaveScene, [&] {
        EXPECT_EQ(dialog->windowTitle(), "Save Scene");
        EXPECT_FALSE(dialog->Row(CSceneDialog::kFormat)->Items().contains("TGA images"));
        dialog->Row(CSceneDialog::kPreset)->Step(1);
        dialog->Row(CSceneDialog::kPreset)->Step(1);
        EXPECT_EQ(Shown(CSceneDialog::kPreset), "school");
        EXPECT_EQ(settings.Get(ProjectType), 2);
        EXPECT_EQ(dialog->Labels().mid(3),
                  (QStringList{"course", "student", "exercise", "version"}));
        EXPECT_EQ(dialog->Row(CSceneDialog::kLevel3)->Field()->toolTip(),
                  "Enter the student's name");
        dialog->Row(CSceneDialog::kFormat)->Step(1);
        EXPECT_EQ(Shown(CSceneDialog::kFormat), "BMP images");

        const char* names[] = {"art", "..", "clay", "v1"};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FALSE(OkOn()) << i;
            Type(CSceneDialog::kLevel2 + i, QString::fromLatin1(names[i]));
        }
        ASSERT_TRUE(OkOn());
        Ok();
        EXPECT_EQ(messages, std::vector<int>{60030});
        EXPECT_TRUE(calls.empty()) << "nothing is saved outside the base";

        Type(CSceneDialog::kLevel3, "ann");
        answer = msg::kCannotCreateFolder;
        Ok();
        EXPECT_TRUE(dialog->IsOpen()) << "a failure keeps the dialog open";
        EXPECT_TRUE(dialog->isEnabled());
        answer = kOk;
        Ok();
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].procedure, "save");
    EXPECT_EQ(calls[1].folder, Scenes() + "/art/ann/clay/v1/");
    EXPECT_EQ(calls[1].extensions, QStringList{".bmp"});
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "Brevanta", "Kolvane");
    EXPECT_EQ(store.value("LastScene/Preset").toString(), "school");
    EXPECT_EQ(store.value("LastScene/Format").toString(), "BMP images");
}

// Each pause in typing sends the level, and the dialog shows every level
// again: a name typed with pauses arrives whole.
TEST_F(SceneDialogTest, ANameTypedWithPausesIsKeptWhole) {
    Run(CSceneChooser::kSaveScene, [&] {
        CTextButton* input = dialog->Row(CSceneDialog::kLevel3)->Field();
        input->setFocus();
        for (const char* part : {"seq", "uence", " 1"}) {
            QTest::keyClicks(input, QString::fromLatin1(part));
            input->Commit();
        }
        EXPECT_EQ(Shown(CSceneDialog::kLevel3), "sequence 1");
    });
}

TEST_F(SceneDialogTest, OpenSceneTimingNeedsATimingFileAndKeepsNothing) {
    const QString scene = Scenes() + "/t/s/c/v";
    ASSERT_TRUE(QDir().mkpath(scene));
    QFile(scene + "/walk 0001.png").open(QIODevice::WriteOnly);

    const int result = Run(CSceneChooser::kOpenSceneTiming, [&] {
        EXPECT_EQ(dialog->windowTitle(), "Open Scene Timing");
        Type(CSceneDialog::kLevel5, "v");
        EXPECT_EQ(Shown(CSceneDialog::kLevel2), "t");
        EXPECT_FALSE(OkOn()) << "images alone are no timing";
        QFile(scene + "/v.csv").open(QIODevice::WriteOnly);
        Type(CSceneDialog::kLevel5, "v");
        ASSERT_TRUE(OkOn());
        QTest::keyClick(dialog->Row(CSceneDialog::kLevel5)->Field(), Qt::Key_Return);
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procedure, "timing");
    EXPECT_EQ(calls[0].folder, scene + "/");
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "Brevanta", "Kolvane");
    EXPECT_FALSE(store.childGroups().contains("LastScene"));
}

}  // namespace
}  // namespace kolvane
