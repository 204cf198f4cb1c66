#include <gtest/gtest.h>

#include <QFile>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

// The process objects a frame-rate change touches: settings, media list,
// sheet, audio output and the storage, connected as at start-up.
class RateChange : public testing::Test {
  protected:
    RateChange() : sheet(settings), output(settings) {
        settings.Set(FrameRate, 25);
        media.SetAudioRingFactory(&output);
        sheet.SetAudioRingFactory(&output);
        storage.Connect({&settings, &media, &output, {}});
        folder = test::MakeTempDir(QStringLiteral("sounds"));
    }

    // A sound item of `seconds` of steady tone at 48 kHz.
    CNode* AddSound(const QString& name, int seconds) {
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".wav");
        test::WritePcmClip(path, 48000, 2, 48000LL * seconds,
                           [](std::int64_t, int) { return std::int16_t{3000}; });
        return media.AddMediaFile(kTypeSound, path);
    }

    // Places the first `cells` frames of a sound into its own column.
    void Place(CNode* sound, int cells) {
        for (int n = 1; n <= cells; ++n)
            sheet.PlaceItem(sound)->name = SoundCellName(sound->name, n);
        sheet.RecomputeSummaries();
        sheet.Normalise();
    }

    void ChangeRate(int rate) {
        settings.Set(FrameRate, rate);
        storage.RefitSoundCells(sheet);
        sheet.RecomputeSummaries();
        sheet.Normalise();
    }

    QStringList CellNames(const QString& column) const {
        QStringList names;
        for (const CNode* cell : *sheet.FindLevelByName(column)->children)
            names << cell->name;
        return names;
    }

    static QStringList Run(const QString& sound, int from, int to) {
        QStringList names;
        for (int n = from; n <= to; ++n)
            names << SoundCellName(sound, n);
        return names;
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet;
    CDirectSound output;
    CStorage storage;
    QString folder;
};

TEST_F(RateChange, From25To30FpsTheRunGrowsAndBackItShrinksToBlanks) {
    CNode* rain = AddSound(QStringLiteral("rain"), 2);
    ASSERT_FLOAT_EQ(rain->soundInfo->lengthInFrames, 50.0f);
    Place(rain, 50);

    ChangeRate(30);
    EXPECT_FLOAT_EQ(rain->soundInfo->lengthInFrames, 60.0f);
    EXPECT_EQ(CellNames("rain"), Run("rain", 1, 60) << QString());
    EXPECT_EQ(sheet.FrameCount(), 60);
    EXPECT_EQ(CellNames("rain")[59], QStringLiteral("rain:  60"));

    ChangeRate(25);
    EXPECT_EQ(CellNames("rain").mid(0, 50), Run("rain", 1, 50));
    // The surplus turns blank; normalising drops all but the trailing blank row.
    EXPECT_EQ(CellNames("rain").mid(50), QStringList{QString()});
    EXPECT_EQ(sheet.FrameCount(), 50);
}

TEST_F(RateChange, EveryColumnIsRefittedEvenWhenTheFirstAlreadyFits) {
    CNode* bell = AddSound(QStringLiteral("bell"), 1);
    CNode* wind = AddSound(QStringLiteral("wind"), 2);
    Place(bell, 25);  // whole: fits at 25 fps
    Place(wind, 40);  // cut short
    ChangeRate(25);
    EXPECT_EQ(CellNames("bell").mid(0, 25), Run("bell", 1, 25));
    EXPECT_EQ(CellNames("wind").mid(0, 50), Run("wind", 1, 50));
    EXPECT_EQ(sheet.FrameCount(), 50);
}

TEST_F(RateChange, ShrinkingStopsAtACellOfAnotherItem) {
    CNode* knock = AddSound(QStringLiteral("knock"), 1);
    CNode* tap = AddSound(QStringLiteral("tap"), 1);
    CNode* column = sheet.GetColumn(0, QStringLiteral("mix"));
    auto append = [&](CNode* sound, int n) {
        column->children->append(CNode::NewCell(sound))->name = SoundCellName(sound->name, n);
    };
    append(knock, 1);
    append(tap, 24);  // numbered past knock's end
    append(knock, 30);
    append(knock, 31);
    sheet.RecomputeSummaries();
    sheet.Normalise();
    // At 25 fps knock is 25 frames: the last cell asks for 6 cells fewer, but
    // only knock's own cells back to tap's turn blank.
    ChangeRate(25);
    EXPECT_EQ(CellNames("mix"), (QStringList{"knock:   1", "tap:  24", QString()}));
}

TEST_F(RateChange, RunsWithoutALengthToFitStayAsTheyAre) {
    // A cell without a number, and a clip that can no longer be read: a
    // refit must not blank what it cannot measure.
    CNode* lost = AddSound(QStringLiteral("lost"), 1);
    CNode* plain = AddSound(QStringLiteral("plain"), 1);
    Place(lost, 25);
    CNode* column = sheet.GetColumn(sheet.Levels().size(), QStringLiteral("plain"));
    column->children->append(CNode::NewCell(plain));  // named "plain", no number
    sheet.RecomputeSummaries();
    sheet.Normalise();
    QFile::remove(lost->soundInfo->path);

    ChangeRate(30);
    EXPECT_EQ(lost->soundInfo->decoder, nullptr);
    EXPECT_EQ(CellNames("lost").mid(0, 25), Run("lost", 1, 25));
    EXPECT_EQ(CellNames("plain").front(), QStringLiteral("plain"));
}

TEST_F(RateChange, TracksForgetTheirCellAndCursorAndPlayAtTheNewRate) {
    CNode* hum = AddSound(QStringLiteral("hum"), 2);
    Place(hum, 50);
    CNode* column = sheet.FindLevelByName(QStringLiteral("hum"));
    CListInfo& track = *column->summary;
    track.currentSoundCell = column->children->at(49);
    ASSERT_EQ(storage.WriteSoundFrame(track, false), kOk);
    EXPECT_EQ(track.writeCursor, 7680u);
    media.SoundLevel()->summary->currentSoundCell = hum;

    ChangeRate(30);
    EXPECT_EQ(track.currentSoundCell, nullptr);
    EXPECT_EQ(track.writeCursor, 0u);
    EXPECT_EQ(media.SoundLevel()->summary->currentSoundCell, nullptr);

    track.currentSoundCell = column->children->at(59);
    ASSERT_EQ(storage.WriteSoundFrame(track, false), kOk);
    EXPECT_EQ(track.writeCursor, 6400u);
    std::vector<std::int16_t> frame(6400 / 2);
    ASSERT_TRUE(output.ReadLastFrame(track, frame.data()));
    EXPECT_EQ(frame.front(), 3000);
    EXPECT_EQ(frame.back(), 3000);
}

}  // namespace
}  // namespace kolvane
