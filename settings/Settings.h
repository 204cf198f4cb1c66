#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

namespace kolvane {

// Byte numbers of the settings record.
enum SettingIndex : int {
    SettingsVersion = 0,
    GrabSound = 1,
    GrabLetterbox = 2,
    Lightbox = 3,
    Orientation = 4,
    MotionCommand = 5,
    AutoTiming = 6,
    ColumnCount = 7,
    FrameStart = 8,
    DefTiming = 9,
    CellInfo = 10,
    PlayLetterbox = 11,
    Overlay = 12,
    PlayOnce = 13,
    FrameRate = 14,
    LoopMode = 15,
    VideoInput = 16,
    VideoQuality = 17,
    Whiteness = 18,
    Brightness = 19,
    Contrast = 20,
    Color = 21,
    Denoise = 22,
    Opacity = 23,
    MonitorAspect = 24,
    ProjectType = 25,
    SwapGrabPlayKeys = 26,
    MoviePreset = 27,
    LoadLiveView = 28,
    MonitorAuto = 29,
    IgnoreOpacity = 30,
    AutoStore = 31,
    LightingType = 32,
    SceneType = 33,
    FocalRange = 34,
    ImageSize = 35,
};

inline constexpr int kSettingsSize = 64;
inline constexpr int kSettingsUsed = 36;  // bytes 36..63 stay 0

// One choice of a setting: what the user sees, and the value stored.
struct SettingChoice {
    const char* text;
    int value;
};

// The settings record: 64 one-byte values, stored per computer in the user's
// settings file as one binary value named "Settings.<host name>".
class CSettings {
  public:
    // Writes the defaults, then restores the stored record. `nativeAspect` is
    // the display's own width × 100 / height (clamped to 1..255).
    explicit CSettings(int nativeAspect = 133);

    // A record of the defaults that never reads nor writes the stored record
    // (for kolvane-tool, which must leave the user's settings alone).
    struct Unstored {};
    explicit CSettings(Unstored);

    int Get(int index) const;
    // Values above 255 become 255 (below 0, 0). A change marks the record
    // changed and, with AutoStore on, stores it at once.
    void Set(int index, int value);

    void Store();
    void Restore();
    void ResetToDefaults();

    void SetFromText(int index, const QString& text);
    QString TextOf(int index, bool shortForm) const;
    // The choice texts of a byte's group (empty for numeric and on/off bytes).
    static QStringList ChoiceTexts(int index, bool shortForm = false);
    static QString ShortText(const QString& text);

    void SaveRange(int from, int to);
    void RestoreRange(int from, int to);

    bool IsChanged() const { return changed_ != 0; }
    int NativeAspect() const { return nativeAspect_; }

    // Kept apart from the record, whose layout is fixed.
    bool NoClickGrab() const;
    void SetNoClickGrab(bool on);

    // The on/off switch of an option row, by its label (on when unknown).
    static bool FieldState(const QString& label);
    static void SetFieldState(const QString& label, bool on);

    static int DefaultOf(int index);
    // Whether `value` is one of the byte's choices or within its range.
    static bool IsValid(int index, int value);

    // The name of this computer's stored value.
    static QString ValueName();

  private:
    void WriteDefaults();
    bool ReadStoredRecord(const QString& valueName);

    int changed_ = 0;
    std::array<std::uint8_t, kSettingsSize> record_{};
    std::array<std::uint8_t, kSettingsSize> saved_{};
    int nativeAspect_ = 133;
    bool stored_ = true;
};

}  // namespace kolvane
