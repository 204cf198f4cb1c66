#include <gtest/gtest.h>

#include <gst/pbutils/pbutils.h>

#include <functional>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "platform/GstPtr.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/MovieDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/SceneDialog.h"
#include "ui/TextButton.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

// What the discoverer finds in a movie file.
struct Discovered {
    double seconds = 0;
    int videoStreams = 0;
    int audioStreams = 0;
    QSize size;
};

Discovered Discover(const QString& path) {
    Discovered found;
    GError* error = nullptr;
    GstObjectPtr<GstDiscoverer> discoverer(gst_discoverer_new(20 * GST_SECOND, &error));
    g_clear_error(&error);
    if (discoverer == nullptr) return found;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer.get(), uri, &error);
    g_free(uri);
    g_clear_error(&error);
    if (info == nullptr) return found;
    found.seconds = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    GList* videos = gst_discoverer_info_get_video_streams(info);
    GList* audios = gst_discoverer_info_get_audio_streams(info);
    found.videoStreams = static_cast<int>(g_list_length(videos));
    found.audioStreams = static_cast<int>(g_list_length(audios));
    if (videos != nullptr) {
        auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
        found.size = QSize(static_cast<int>(gst_discoverer_video_info_get_width(video)),
                           static_cast<int>(gst_discoverer_video_info_get_height(video)));
    }
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    g_object_unref(info);
    return found;
}

template <class Dialog>
Dialog* OpenDialog() {
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* dialog = qobject_cast<Dialog*>(widget);
        if (dialog != nullptr && dialog->IsOpen()) return dialog;
    }
    return nullptr;
}

// The program as a user drives it: the frame over the test's own working
// folders and documents, its dialogs answered as they come up.
class SceneMovieDialogsTest : public ::testing::Test {
  protected:
    SceneMovieDialogsTest() : objects(CEngine::Program{160}) {
        for (int k = 1; k <= 4; ++k) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(k * 60, 200, 200));
            EXPECT_TRUE(image.save(objects.storage.GetGrabFolder() +
                                   QStringLiteral("walk %1.png").arg(k, 4, 10, QChar(u'0'))));
        }
        frame = std::make_unique<CMainFrame>(objects);
        frame->resize(1024, 768);
        frame->show();
        QApplication::processEvents();
        // Message boxes and the progress box answered while a dialog runs.
        QObject::connect(&answerer, &QTimer::timeout, [this] {
            if (auto* box = OpenDialog<CMessageDialog>()) {
                messages << box->Message();
                box->End(box->ButtonSet() == 2 ? CBasicDialog::kYes : CBasicDialog::kClose);
            }
            if (abortMovie) {
                if (auto* progress = OpenDialog<CProgressDialog>())
                    progress->SendDialogCommand(CBasicDialog::kAbort);
            }
        });
        answerer.start(10);
    }
    // Sends a menu command whose dialog `act` then fills in.
    void Run(int command, const std::function<void()>& act) {
        QTimer::singleShot(0, frame.get(), [this, act] {
            QApplication::processEvents();  // the dialog's lists fill
            act();
            // A failed assertion must not leave the test waiting.
            for (CBasicDialog* dialog : {static_cast<CBasicDialog*>(&frame->SceneDialog()),
                                         static_cast<CBasicDialog*>(&frame->MovieDialog())}) {
                if (dialog->IsOpen() && dialog->Result() == 0) dialog->End(CBasicDialog::kClose);
            }
        });
        frame->SendCommand(command);
    }
    static void Type(CComboBar* row, const QString& text) {
        CTextButton* input = row->Field();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, text);
        input->Commit();
    }
    static void Ok(CBasicDialog& dialog) {
        ASSERT_TRUE(dialog.Button(1)->isEnabled());
        QTest::mouseClick(dialog.Button(1), Qt::LeftButton, {}, {4, 4});
    }
    static QString Documents() {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }

    CEngine objects;
    std::unique_ptr<CMainFrame> frame;
    QTimer answerer;
    QStringList messages;
    bool abortMovie = false;
};

TEST_F(SceneMovieDialogsTest, ASceneIsSavedOpenedAgainAndWrittenAsAMovie) {
    const int frames = objects.sheet.FrameCount();
    ASSERT_EQ(frames, 4 * objects.settings.Get(DefTiming));
    const QString scene = Documents() + "/My Scenes/robot/intro/shot 1/v1";

    // Save Scene: the levels typed, one by one.
    Run(cmd::kSaveScene, [&] {
        CSceneDialog& dialog = frame->SceneDialog();
        ASSERT_TRUE(dialog.IsOpen());
        EXPECT_TRUE(frame->QueryCommand(cmd::kSaveScene).enabled);
        const char* names[] = {"robot", "intro", "shot 1", "v1"};
        for (int i = 0; i < 4; ++i)
            Type(dialog.Row(CSceneDialog::kLevel2 + i), QString::fromLatin1(names[i]));
        Ok(dialog);
    });
    EXPECT_FALSE(frame->SceneDialog().IsOpen());
    EXPECT_TRUE(QFileInfo::exists(scene + "/walk 0004.png"));
    EXPECT_TRUE(QFileInfo::exists(scene + "/v1.csv"));
    EXPECT_EQ(objects.title.SceneName(), scene);
    EXPECT_FALSE(objects.title.IsChanged());

    // Open Scene: the dialog remembers the folder; the scene there is
    // cleared first, asking.
    Run(cmd::kOpenScene, [&] {
        CSceneDialog& dialog = frame->SceneDialog();
        ASSERT_TRUE(dialog.IsOpen());
        EXPECT_EQ(dialog.Row(CSceneDialog::kLevel4)->Text(), "shot 1");
        Ok(dialog);
    });
    EXPECT_TRUE(messages.contains("clear the current scene ?"));
    ASSERT_NE(objects.media.ImageLevel(), nullptr);
    EXPECT_EQ(objects.media.ImageLevel()->children->size(), 4);
    EXPECT_EQ(objects.sheet.FrameCount(), frames);
    EXPECT_EQ(objects.title.SceneName(), scene);

    // Save Movie: a name, and the master preset of a first run.
    Run(cmd::kSaveMovie, [&] {
        CMovieDialog& dialog = frame->MovieDialog();
        ASSERT_TRUE(dialog.IsOpen());
        EXPECT_EQ(dialog.Row(CMovieDialog::kPreset)->Text(), "master");
        Type(dialog.Row(CMovieDialog::kName), "robot");
        Ok(dialog);
    });
    EXPECT_FALSE(frame->MovieDialog().IsOpen()) << messages.join(", ").toStdString();
    const QString movie = Documents() + "/My Movies/robot.avi";
    const Discovered found = Discover(movie);
    const double seconds = static_cast<double>(frames) / objects.settings.Get(FrameRate);
    EXPECT_NEAR(found.seconds, seconds, 0.001);
    EXPECT_EQ(found.videoStreams, 1);
    EXPECT_EQ(found.audioStreams, 1);
    EXPECT_EQ(found.size, QSize(64, 48));
}

TEST_F(SceneMovieDialogsTest, AbortingTheMovieLeavesNoFile) {
    // A first movie of the name, kept when the next one is given up.
    Run(cmd::kSaveMovie, [&] {
        CMovieDialog& dialog = frame->MovieDialog();
        Type(dialog.Row(CMovieDialog::kName), "take");
        Type(dialog.Row(CMovieDialog::kResizing), "320x240");
        Ok(dialog);
    });
    const QString movies = Documents() + "/My Movies";
    ASSERT_EQ(Discover(movies + "/take.avi").size, QSize(320, 240));

    abortMovie = true;
    Run(cmd::kSaveMovie, [&] {
        CMovieDialog& dialog = frame->MovieDialog();
        EXPECT_EQ(dialog.Row(CMovieDialog::kResizing)->Text(), "320x240") << "remembered";
        EXPECT_EQ(dialog.Row(CMovieDialog::kPreset)->Text(), "(custom)");
        Type(dialog.Row(CMovieDialog::kName), "given up");
        Ok(dialog);
        EXPECT_TRUE(dialog.IsOpen()) << "the dialog stays for another try";
        Type(dialog.Row(CMovieDialog::kName), "take");
        Ok(dialog);  // replace existing movie ? yes, then aborted too
        QTest::keyClick(dialog.Row(CMovieDialog::kName)->Field(), Qt::Key_Escape);
    });
    EXPECT_FALSE(frame->MovieDialog().IsOpen());
    EXPECT_TRUE(messages.contains("The movie is not saved to disk"));
    EXPECT_TRUE(messages.contains("replace existing movie ?"));
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"take.avi"})
        << "no movie given up, no temporary left";
    EXPECT_EQ(Discover(movies + "/take.avi").size, QSize(320, 240)) << "the old movie stays";
}

}  // namespace
}  // namespace kolvane
