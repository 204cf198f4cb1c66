#include <gtest/gtest.h>

#include <vector>

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "tests/support/SheetPatterns.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/AnimDialog.h"
#include "ui/ComboBar.h"
#include "ui/MdiaListPanel.h"
#include "ui/MessageDialog.h"
#include "ui/SelectView.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

using test::AddColumn;
using test::CellNames;
using test::CSnapshotCounter;
using test::ImageItem;

// Routes every command to the panel, as the frame would, and keeps a record;
// the sheet's normalising stands in for the editor.
class CPanelSink : public ICommandSink {
  public:
    explicit CPanelSink(CXshtList& sheet, CMdiaList& media) : sheet_(sheet), media_(media) {}
    void SendCommand(int id) override {
        sent.push_back(id);
        if (panel != nullptr && panel->OnCommand(id)) return;
        if (id == cmd::kSheetChanged || id == cmd::kEditorGoToCurrent) sheet_.Normalise();
        if (id == cmd::kMediaNamesChanged) sheet_.RefreshNamesFromMedia(media_);
    }
    void PostCommand(int id) override { SendCommand(id); }
    int Count(int id) const { return static_cast<int>(std::count(sent.begin(), sent.end(), id)); }
    CMdiaListPanel* panel = nullptr;
    std::vector<int> sent;

  private:
    CXshtList& sheet_;
    CMdiaList& media_;
};

class MdiaListPanelTest : public ::testing::Test {
  protected:
    MdiaListPanelTest() {
        links.media = &media;
        links.sheet = &sheet;
        links.settings = &settings;
        links.title = &title;
        sceneState.SetShownBy([this](bool unsaved) { title.ShowUnsavedChanges(unsaved); });
        links.sceneState = &sceneState;
        links.history = &history;
        panel = new CMdiaListPanel(sink, links, &window);
        sink.panel = panel;
        panel->SetMessageBox([this](int, int id) {
            asked.push_back(id);
            return answer;
        });
        window.resize(200, LineHeight() * 12);
        panel->setGeometry(window.rect());
        window.show();
        QApplication::processEvents();
    }
    ~MdiaListPanelTest() override {
        sink.panel = nullptr;
        delete panel;
    }

    CNode* Sound(const QString& name, float frames) {
        CNode* item = media.AddMediaFile(kTypeSound, QStringLiteral("/scene/%1.wav").arg(name));
        item->soundInfo->lengthInFrames = frames;
        return item;
    }
    QStringList Names(const CNode* level) {
        QStringList names;
        for (const CNode* item : *level->children)
            names << item->name;
        return names;
    }
    void Refreshed() {
        media.RecomputeSummaries();
        sink.SendCommand(cmd::kMediaChanged);
        sink.sent.clear();
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CTitleBar title{settings};
    CSceneState sceneState;
    CSnapshotCounter history;
    CPanelSink sink{sheet, media};
    SceneLinks links;
    QWidget window;
    CMdiaListPanel* panel;
    std::vector<int> asked;
    int answer = CBasicDialog::kYes;
};

TEST_F(MdiaListPanelTest, AddPutsImagesDefTimingTimesAndSoundsOncePerWholeFrame) {
    settings.Set(DefTiming, 2);
    ImageItem(media, "walk 0001")->Select();
    ImageItem(media, "walk 0002");
    Sound("hum", 12.6f)->Select();
    Refreshed();
    sink.SendCommand(cmd::kMediaAdd);

    EXPECT_EQ(title.Mark(), "*");
    EXPECT_EQ(history.recorded, 1);
    EXPECT_EQ(sink.Count(cmd::kEditorGoToCurrent), 1);
    const CNode* walk = sheet.FindLevelByName("walk");
    const CNode* hum = sheet.FindLevelByName("hum");
    ASSERT_NE(walk, nullptr);
    ASSERT_NE(hum, nullptr);
    QStringList humCells;
    for (int k = 1; k <= 12; ++k)
        humCells << SoundCellName("hum", k);
    humCells << "-";
    EXPECT_EQ(CellNames(*hum), humCells);
    EXPECT_EQ(CellNames(*walk).mid(0, 3), (QStringList{"walk 0001", "walk 0001", "-"}));

    // A default timing of 0 puts no image on the sheet.
    sheet.Clear();
    settings.Set(DefTiming, 0);
    sink.SendCommand(cmd::kMediaAdd);
    EXPECT_EQ(sheet.FindLevelByName("walk"), nullptr);
}

TEST_F(MdiaListPanelTest, RemoveSelectedAsksThenTakesTheItemsTheirCellsAndEmptyLevels) {
    CNode* walk1 = ImageItem(media, "walk 0001");
    CNode* walk2 = ImageItem(media, "walk 0002");
    CNode* hum = Sound("hum", 3.0f);
    AddColumn(sheet, media, "walk", {"walk 0001", "walk 0002", "walk 0001"});
    sheet.PlaceSound(hum);
    sheet.Normalise();
    walk1->Select();
    hum->Select();
    Refreshed();

    answer = CBasicDialog::kNo;
    sink.SendCommand(cmd::kMediaRemoveSelected);
    EXPECT_EQ(asked, std::vector<int>{CMdiaListPanel::kRemoveSelectedQuestion});
    EXPECT_EQ(media.Levels().size(), 2);
    EXPECT_TRUE(title.Mark().isEmpty());

    answer = CBasicDialog::kYes;
    sink.SendCommand(cmd::kMediaRemoveSelected);
    EXPECT_EQ(title.Mark(), "*");
    ASSERT_EQ(media.Levels().size(), 1);  // the sound level went with its only sound
    EXPECT_EQ(Names(media.ImageLevel()), QStringList{"walk 0002"});
    ASSERT_EQ(sheet.Levels().size(), 2);
    EXPECT_EQ(CellNames(*sheet.Levels().at(0)), (QStringList{"walk 0002", "-"}));
    EXPECT_EQ(sheet.Levels().at(0)->children->at(0)->item, walk2);
    for (int id :
         {cmd::kMediaChanged, cmd::kGrabNameRefresh, cmd::kForgetShownImage, cmd::kGrabberRefresh,
          cmd::kSheetChanged, cmd::kPlayerRefresh, cmd::kRangeInitialise}) {
        EXPECT_EQ(sink.Count(id), 1) << id;
    }
}

TEST_F(MdiaListPanelTest, RemoveDuplicatesComparesTheFilesNeverTheShrunkPictures) {
    const QString dir = test::MakeTempDir(QStringLiteral("scene"));
    QImage photo(64, 48, QImage::Format_RGB32);
    photo.fill(QColor(90, 120, 150));
    photo.save(dir + "/a 0001.png");
    QFile::copy(dir + "/a 0001.png", dir + "/a 0002.png");
    // One pixel apart: the same picture when shrunk, another photo all the same.
    QImage almost = photo;
    almost.setPixel(10, 10, qRgb(91, 120, 150));
    almost.save(dir + "/a 0003.png");
    // The same bytes as the first, but not its neighbour.
    QFile::copy(dir + "/a 0001.png", dir + "/a 0004.png");
    const QImage shrunk = photo.scaled(8, 6);
    std::vector<CNode*> items;
    for (int k = 1; k <= 4; ++k) {
        CNode* item = media.AddMediaFile(
            kTypeImage, dir + QStringLiteral("/a %1.png").arg(k, 4, 10, QChar(u'0')));
        item->texture = shrunk;
        items.push_back(item);
    }
    AddColumn(sheet, media, "a", {"a 0001", "a 0002", "a 0003", "a 0004"});
    sheet.Normalise();
    Refreshed();

    sink.SendCommand(cmd::kMediaRemoveDuplicates);
    EXPECT_EQ(asked, std::vector<int>{CMdiaListPanel::kRemoveDuplicatesQuestion});
    EXPECT_EQ(Names(media.ImageLevel()), (QStringList{"a 0001", "a 0003", "a 0004"}));
    // The cell that showed the duplicate shows the image it was merged into.
    EXPECT_EQ(CellNames(*sheet.Levels().at(0)),
              (QStringList{"a 0001", "a 0001", "a 0003", "a 0004", "-"}));
    EXPECT_EQ(sheet.Levels().at(0)->children->at(1)->item, items[0]);
    EXPECT_EQ(title.Mark(), "*");
    EXPECT_EQ(sink.Count(cmd::kSheetChanged), 1);
}

TEST_F(MdiaListPanelTest, RenameAsksBeforeTakingTheNameOfAnotherImage) {
    ImageItem(media, "walk 0001")->Select();
    ImageItem(media, "walk 0002")->Select();
    CNode* run = ImageItem(media, "run 0001");
    AddColumn(sheet, media, "walk", {"walk 0001", "walk 0002", "run 0001"});
    sheet.Normalise();
    Refreshed();

    CAnimDialog& dialog = panel->RenameDialog();
    auto renameTo = [&](const QString& name) {
        QTimer::singleShot(0, &dialog, [&dialog, name] {
            dialog.Row(CAnimDialog::kName)->SetText(name);
            dialog.SendDialogCommand(CBasicDialog::kOk);
            // Still open after a "no": it is cancelled.
            if (dialog.IsOpen()) dialog.SendDialogCommand(CBasicDialog::kCancel);
        });
        sink.SendCommand(cmd::kMediaRename);
    };

    answer = CBasicDialog::kNo;
    renameTo(QStringLiteral("run"));
    EXPECT_EQ(asked, std::vector<int>{60026});  // "replace existing names ?"
    EXPECT_EQ(Names(media.ImageLevel()), (QStringList{"run 0001", "walk 0001", "walk 0002"}));

    answer = CBasicDialog::kYes;
    renameTo(QStringLiteral("run"));
    EXPECT_EQ(Names(media.ImageLevel()), (QStringList{"run 0001", "run 0002"}));
    EXPECT_EQ(media.ImageLevel()->children->indexOf(run), -1);  // the replaced image went
    // The cells follow the new names; the replaced image's cell went with it.
    EXPECT_EQ(CellNames(*sheet.Levels().at(0)), (QStringList{"run 0001", "run 0002", "-"}));
    EXPECT_GE(sink.Count(cmd::kMediaChanged), 1);
    EXPECT_GE(sink.Count(cmd::kMediaNamesChanged), 1);
}

TEST_F(MdiaListPanelTest, ARowChosenInTheLightboxModesUpdatesTheGrabbersOverlay) {
    for (int k = 1; k <= 30; ++k)
        ImageItem(media, QStringLiteral("walk %1").arg(k, 4, 10, QChar(u'0')));
    Refreshed();
    EXPECT_EQ(title.ImageCount(), 30);
    CSelectView& view = panel->View();
    struct Mode {
        int lightbox;
        int updates;
    };
    for (const Mode mode : {Mode{0, 0}, Mode{3, 1}, Mode{5, 1}}) {
        settings.Set(Lightbox, mode.lightbox);
        sink.sent.clear();
        QTest::mouseClick(&view, Qt::LeftButton, {}, view.CellRect({0, 2}).center());
        EXPECT_EQ(sink.Count(cmd::kLightboxChanged), mode.updates) << mode.lightbox;
        EXPECT_EQ(media.currentPosition, 2);
        EXPECT_EQ(view.CurrentRow(), 2);
    }

    // The image added last comes into the middle of the view.
    media.currentPosition = 20;
    sink.SendCommand(cmd::kMediaShowLastAdded);
    EXPECT_EQ(view.FirstRow(), 20 - view.VisibleRows() / 2);
    EXPECT_EQ(view.CurrentRow(), 20);
}

}  // namespace
}  // namespace kolvane
