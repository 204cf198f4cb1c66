#include <gtest/gtest.h>

#include <QSettings>

#include "settings/Settings.h"

namespace kolvane {
namespace {

QSettings Stored() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brevanta"),
                     QStringLiteral("Kolvane"));
}

void WriteStored(const QString& name, const QByteArray& bytes) {
    QSettings store = Stored();
    store.setValue(name, bytes);
    store.sync();
}

QByteArray ValidRecord() {
    QByteArray bytes(kSettingsSize, '\0');
    for (int i = 1; i < kSettingsUsed; ++i)
        bytes[i] = static_cast<char>(CSettings::DefaultOf(i));
    bytes[SettingsVersion] = 2;
    return bytes;
}

TEST(Settings, FirstStartRunsWithDefaultsButHalfOpacityAndCountsAsChanged) {
    CSettings settings(160);
    EXPECT_EQ(settings.Get(FrameRate), 25);
    EXPECT_EQ(settings.Get(DefTiming), 2);
    EXPECT_EQ(settings.Get(GrabLetterbox), 133);
    EXPECT_EQ(settings.Get(ImageSize), 254);
    EXPECT_EQ(settings.Get(Opacity), 50);
    EXPECT_EQ(settings.Get(MonitorAspect), 0);
    EXPECT_TRUE(settings.IsChanged());
}

TEST(Settings, ResetGivesZeroOpacityAndAutoMonitor) {
    CSettings settings(160);
    settings.Set(MonitorAspect, 177);
    settings.Set(MonitorAuto, 0);
    settings.ResetToDefaults();
    EXPECT_EQ(settings.Get(Opacity), 0);
    EXPECT_EQ(settings.Get(MonitorAspect), 0);
    EXPECT_EQ(settings.Get(MonitorAuto), 1);
    EXPECT_TRUE(settings.IsChanged());
}

TEST(Settings, AutoDetectStoresNativeAspectButReadsBackZero) {
    {
        CSettings settings(160);
        settings.Store();
        EXPECT_FALSE(settings.IsChanged());
        EXPECT_EQ(settings.Get(MonitorAspect), 0);
    }
    const QByteArray stored = Stored().value(CSettings::ValueName()).toByteArray();
    ASSERT_EQ(stored.size(), kSettingsSize);
    EXPECT_EQ(static_cast<unsigned char>(stored[MonitorAspect]), 160);
    EXPECT_EQ(stored[SettingsVersion], 2);

    CSettings again(160);
    EXPECT_EQ(again.Get(MonitorAspect), 0);
    EXPECT_EQ(again.Get(Opacity), 50);  // the stored value, not the first-start rule
}

TEST(Settings, SetClampsToAByteAndAutoStoreWritesAtOnce) {
    CSettings settings;
    settings.Set(DefTiming, 300);
    EXPECT_EQ(settings.Get(DefTiming), 255);
    settings.Set(DefTiming, -4);
    EXPECT_EQ(settings.Get(DefTiming), 0);

    settings.Set(AutoStore, 1);
    settings.Set(FrameRate, 30);
    EXPECT_FALSE(settings.IsChanged());
    EXPECT_EQ(Stored().value(CSettings::ValueName()).toByteArray()[FrameRate], 30);
}

TEST(Settings, DamagedStoredRecordIsRepairedByteByByte) {
    QByteArray bytes = ValidRecord();
    bytes[FrameRate] = 0;
    bytes[ColumnCount] = 0;
    bytes[GrabLetterbox] = 12;
    bytes[Opacity] = static_cast<char>(200);
    bytes[40] = 7;
    bytes[DefTiming] = 6;  // valid: kept
    WriteStored(CSettings::ValueName(), bytes);

    CSettings settings;
    EXPECT_EQ(settings.Get(FrameRate), 25);
    EXPECT_EQ(settings.Get(ColumnCount), 5);
    EXPECT_EQ(settings.Get(GrabLetterbox), 133);
    EXPECT_EQ(settings.Get(Opacity), 0);
    EXPECT_EQ(settings.Get(40), 0);
    EXPECT_EQ(settings.Get(DefTiming), 6);
}

TEST(Settings, StoredRecordOfWrongLengthIsIgnored) {
    QByteArray shortRecord = ValidRecord().left(20);
    shortRecord[FrameRate] = 30;
    WriteStored(CSettings::ValueName(), shortRecord);
    CSettings settings;
    EXPECT_EQ(settings.Get(FrameRate), 25);
    EXPECT_EQ(settings.Get(Opacity), 50);  // treated as a first start
}

TEST(Settings, ComputerWithoutItsOwnValueStartsFromAnotherComputers) {
    QByteArray other = ValidRecord();
    other[FrameRate] = 24;
    WriteStored(QStringLiteral("Settings.another-host"), other);
    CSettings settings;
    EXPECT_EQ(settings.Get(FrameRate), 24);
}

TEST(Settings, ChoiceTextsLongAndShort) {
    CSettings settings;
    struct Case {
        int index;
        int value;
        const char* longText;
        const char* shortText;
    };
    const Case cases[] = {
        {GrabLetterbox, 255, "stretch (anamorphic video)", "stretch"},
        {VideoQuality, 5, "full hd (1920x1080)", "full hd"},
        {PlayLetterbox, 166, "1.66:1 (standard film EU)", "1.66:1"},
        {PlayOnce, 25, " 25 frames", " 25 frames"},
        {FocalRange, 56, "group focus (f/8)", "group focus"},
        {DefTiming, 7, "7", "7"},
    };
    for (const Case& c : cases) {
        settings.Set(c.index, c.value);
        EXPECT_EQ(settings.TextOf(c.index, false), QString::fromUtf8(c.longText)) << c.index;
        EXPECT_EQ(settings.TextOf(c.index, true), QString::fromUtf8(c.shortText)) << c.index;
    }
}

TEST(Settings, TextsAreLookedUpOnlyInTheBytesOwnGroup) {
    CSettings settings;
    // 133 is the letterbox "off" value, not a lightbox choice.
    settings.Set(Lightbox, 133);
    EXPECT_EQ(settings.TextOf(Lightbox, true), QStringLiteral("manual"));
    // "off" begins a lightbox choice (0), not the letterbox choice (133).
    settings.SetFromText(Lightbox, QStringLiteral("off"));
    EXPECT_EQ(settings.Get(Lightbox), 0);
    // A prefix of a later group's choice is not found in an earlier one.
    settings.SetFromText(Orientation, QStringLiteral("daylight"));
    EXPECT_EQ(settings.Get(Orientation), 0);
}

TEST(Settings, SetFromTextMatchesPrefixesAndFallsBackToNumbers) {
    CSettings settings;
    settings.SetFromText(PlayLetterbox, QStringLiteral("1.85"));
    EXPECT_EQ(settings.Get(PlayLetterbox), 185);
    settings.SetFromText(MotionCommand, QStringLiteral("grab"));
    EXPECT_EQ(settings.Get(MotionCommand), 3);
    settings.SetFromText(FrameRate, QStringLiteral("24 fps"));
    EXPECT_EQ(settings.Get(FrameRate), 24);
    settings.SetFromText(DefTiming, QStringLiteral("12"));
    EXPECT_EQ(settings.Get(DefTiming), 12);
    settings.SetFromText(DefTiming, QStringLiteral("many"));
    EXPECT_EQ(settings.Get(DefTiming), 0);
}

TEST(Settings, NativeAspectIsClampedToAByte) {
    CSettings settings(400);
    EXPECT_EQ(settings.NativeAspect(), 255);
    settings.Store();
    EXPECT_EQ(static_cast<unsigned char>(
                  Stored().value(CSettings::ValueName()).toByteArray()[MonitorAspect]),
              255);
}

TEST(Settings, SavedRangeRestoresWithoutMarkingChanged) {
    CSettings settings;
    settings.Store();
    settings.SaveRange(1, 15);
    settings.Set(FrameRate, 30);
    settings.Set(DefTiming, 9);
    settings.Set(VideoInput, 3);  // outside the range: kept
    settings.RestoreRange(1, 15);
    EXPECT_EQ(settings.Get(FrameRate), 25);
    EXPECT_EQ(settings.Get(DefTiming), 2);
    EXPECT_EQ(settings.Get(VideoInput), 3);
}

TEST(Settings, NoClickGrabAndFieldStatesLiveOutsideTheRecord) {
    CSettings settings;
    const int opacity = settings.Get(Opacity);
    EXPECT_FALSE(settings.NoClickGrab());
    settings.SetNoClickGrab(true);
    EXPECT_TRUE(settings.NoClickGrab());
    EXPECT_EQ(settings.Get(Opacity), opacity);

    EXPECT_TRUE(CSettings::FieldState(QStringLiteral("letterbox")));
    CSettings::SetFieldState(QStringLiteral("letterbox"), false);
    EXPECT_FALSE(CSettings::FieldState(QStringLiteral("letterbox")));
    EXPECT_TRUE(CSettings::FieldState(QStringLiteral("overlay")));
    EXPECT_TRUE(CSettings::FieldState(QString()));
}

}  // namespace
}  // namespace kolvane
