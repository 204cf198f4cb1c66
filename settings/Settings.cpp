#include "settings/Settings.h"

#include <algorithm>
#include <optional>
#include <span>

#include <QByteArray>
#include <QSettings>
#include <QSysInfo>

#include "platform/StringTable.h"

namespace kolvane {
namespace {

constexpr int kManualText = 40455;
constexpr std::uint8_t kStoredVersion = 2;

constexpr SettingChoice kLetterbox[] = {
    {"off", 133},
    {"1.66:1 (standard film EU)", 166},
    {"1.77:1 (widescreen video)", 177},
    {"1.85:1 (standard film US)", 185},
    {"2.35:1 (cinemascope film)", 235},
    {"stretch (anamorphic video)", 255},
};
constexpr SettingChoice kLightbox[] = {
    {"off", 0},          {"last grabbed", 1}, {"last 3 grabs", 2},
    {"select image", 3}, {"player frame", 4}, {"rotoscope", 5},
};
constexpr SettingChoice kOrientation[] = {
    {"normal", 0},
    {"mirrored (horizontal)", 1},
    {"flipped (vertical)", 2},
    {"turned (both)", 3},
};
constexpr SettingChoice kMotionCommand[] = {
    {"none", 0}, {"play beep", 1}, {"disable grab", 2}, {"grab an image", 3}};
constexpr SettingChoice kGrabSound[] = {{"none", 0}, {"beep", 1}, {"sound", 2}, {"voice", 3}};
constexpr SettingChoice kCellInfo[] = {
    {"off", 0}, {"counter", 1}, {"thumbnail", 2}, {"miniature", 3}, {"properties", 4}};
constexpr SettingChoice kAutoTiming[] = {
    {"off", 0}, {"simple", 1}, {"from names", 2}, {"from numbers", 3}};
constexpr SettingChoice kOverlay[] = {
    {"none", 0}, {"counter", 1}, {"timecode", 2}, {"area guides", 3}};
constexpr SettingChoice kPlayOnce[] = {
    {"all frames", 0}, {" 25 frames", 25}, {" 50 frames", 50}, {"100 frames", 100}};
constexpr SettingChoice kFrameRate[] = {
    {"15 fps (multimedia)", 15},
    {"24 fps (motion film)", 24},
    {"25 fps (PAL video)", 25},
    {"30 fps (NTSC video)", 30},
};
constexpr SettingChoice kLoopMode[] = {
    {"continuous", 0}, {"extra white", 1}, {"extra black", 2}, {"hold last", 3}};
constexpr SettingChoice kVideoInput[] = {
    {"first (any)", 0},       {"webcam (usb)", 1},    {"analog (rca)", 2},
    {"dv video (1394)", 3},   {"tv-tuner (coax)", 4}, {"hd video (hdmi)", 5},
    {"camera (liveview)", 6},
};
constexpr SettingChoice kVideoQuality[] = {
    {"standard", 0},
    {"low (most images)", 1},
    {"medium (balanced)", 2},
    {"high (more details)", 3},
    {"best (most details)", 4},
    {"full hd (1920x1080)", 5},
};
constexpr SettingChoice kDenoise[] = {
    {"none", 1}, {"slight", 2}, {"moderate", 4}, {"severe", 8}, {"extreme", 16}};
constexpr SettingChoice kMonitorAspect[] = {
    {"Auto Detect", 0},      {"Standard  5:4", 125}, {"Standard  4:3", 133},
    {"Wide lcd 16:10", 160}, {"Wide lcd 15:9", 166}, {"Wide lcd 16:9", 177},
};
constexpr SettingChoice kProjectType[] = {
    {"feature film", 0}, {"tv-series", 1}, {"school", 2}, {"workshop", 3}};
constexpr SettingChoice kMoviePreset[] = {
    {"master (no compression)", 0},
    {"broadcast (uncompressed)", 1},
    {"multimedia (for playback)", 2},
    {"webstream (for internet)", 3},
};
constexpr SettingChoice kLightingType[] = {
    {"manual", 0},           {"tungsten (3200K)", 3}, {"fluorescent (4000K)", 4},
    {"daylight (5500K)", 1}, {"cloudy (6000K)", 2},   {"shade (7000K)", 8},
};
constexpr SettingChoice kSceneType[] = {
    {"manual", 0},
    {"backlight (ISO 100)", 72},
    {"bright (ISO 160)", 77},
    {"normal (ISO 200)", 80},
    {"dimmed (ISO 400)", 88},
    {"dark (ISO 800)", 96},
};
constexpr SettingChoice kFocalRange[] = {
    {"manual", 0},
    {"soft focus (f/5.6)", 48},
    {"group focus (f/8)", 56},
    {"normal focus (f/11)", 64},
    {"sharp focus (f/16)", 72},
    {"macro focus (f/22)", 80},
};
constexpr SettingChoice kImageSize[] = {
    {"manual", 255},
    {"SD video (liveview)", 254},
    {"HD video (S phototype)", 2},
    {"2K+ film (M phototype)", 1},
    {"4K+ film (L phototype)", 0},
};

std::span<const SettingChoice> ChoiceGroup(int index) {
    switch (index) {
        case GrabLetterbox:
        case PlayLetterbox:
            return kLetterbox;
        case Lightbox:
            return kLightbox;
        case Orientation:
            return kOrientation;
        case MotionCommand:
            return kMotionCommand;
        case GrabSound:
            return kGrabSound;
        case CellInfo:
            return kCellInfo;
        case AutoTiming:
            return kAutoTiming;
        case Overlay:
            return kOverlay;
        case PlayOnce:
            return kPlayOnce;
        case FrameRate:
            return kFrameRate;
        case LoopMode:
            return kLoopMode;
        case VideoInput:
            return kVideoInput;
        case VideoQuality:
            return kVideoQuality;
        case Denoise:
            return kDenoise;
        case MonitorAspect:
            return kMonitorAspect;
        case ProjectType:
            return kProjectType;
        case MoviePreset:
            return kMoviePreset;
        case LightingType:
            return kLightingType;
        case SceneType:
            return kSceneType;
        case FocalRange:
            return kFocalRange;
        case ImageSize:
            return kImageSize;
        default:
            return {};
    }
}

struct Range {
    int low;
    int high;
};

// Numeric and on/off bytes: the values a valid record may hold.
std::optional<Range> NumericRange(int index) {
    switch (index) {
        case ColumnCount:
            return Range{1, 10};
        case FrameStart:
        case DefTiming:
            return Range{1, 255};
        case Whiteness:
        case Brightness:
        case Contrast:
        case Color:
        case Opacity:
            return Range{0, 100};
        case SwapGrabPlayKeys:
        case LoadLiveView:
        case MonitorAuto:
        case IgnoreOpacity:
        case AutoStore:
            return Range{0, 1};
        default:
            return std::nullopt;
    }
}

constexpr std::array<std::uint8_t, kSettingsUsed> kDefaults = {
    0,    // SettingsVersion
    3,    // GrabSound
    133,  // GrabLetterbox
    1,    // Lightbox
    0,    // Orientation
    0,    // MotionCommand
    2,    // AutoTiming
    5,    // ColumnCount
    1,    // FrameStart
    2,    // DefTiming
    2,    // CellInfo
    133,  // PlayLetterbox
    0,    // Overlay
    0,    // PlayOnce
    25,   // FrameRate
    0,    // LoopMode
    0,    // VideoInput
    4,    // VideoQuality
    0,    // Whiteness
    50,   // Brightness
    50,   // Contrast
    50,   // Color
    1,    // Denoise
    0,    // Opacity
    0,    // MonitorAspect
    0,    // ProjectType
    0,    // SwapGrabPlayKeys
    0,    // MoviePreset
    0,    // LoadLiveView
    1,    // MonitorAuto
    0,    // IgnoreOpacity
    0,    // AutoStore
    0,    // LightingType
    0,    // SceneType
    0,    // FocalRange
    254,  // ImageSize
};

QSettings Store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brevanta"),
                     QStringLiteral("Kolvane"));
}

const QString kSettingsPrefix = QStringLiteral("Settings.");

}  // namespace

CSettings::CSettings(int nativeAspect) : nativeAspect_(std::clamp(nativeAspect, 1, 255)) {
    WriteDefaults();
    changed_ = 0;
    Restore();
}

CSettings::CSettings(Unstored) : stored_(false) {
    WriteDefaults();
}

QString CSettings::ValueName() {
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty()) host = QStringLiteral("localhost");
    return kSettingsPrefix + host;
}

int CSettings::DefaultOf(int index) {
    if (index < 0 || index >= kSettingsUsed) return 0;
    return kDefaults[static_cast<std::size_t>(index)];
}

bool CSettings::IsValid(int index, int value) {
    if (index < 0 || index >= kSettingsSize) return false;
    if (index == SettingsVersion) return true;
    if (index >= kSettingsUsed) return value == 0;
    const auto group = ChoiceGroup(index);
    if (!group.empty()) {
        return std::any_of(group.begin(), group.end(),
                           [value](const SettingChoice& c) { return c.value == value; });
    }
    if (const auto range = NumericRange(index)) return value >= range->low && value <= range->high;
    return true;
}

int CSettings::Get(int index) const {
    if (index < 0 || index >= kSettingsSize) return 0;
    return record_[static_cast<std::size_t>(index)];
}

void CSettings::Set(int index, int value) {
    if (index < 0 || index >= kSettingsSize) return;
    const auto byte = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
    auto& slot = record_[static_cast<std::size_t>(index)];
    if (slot != byte) {
        slot = byte;
        changed_ = 1;
    }
    if (Get(AutoStore) == 1) Store();
}

void CSettings::WriteDefaults() {
    for (int i = 1; i < kSettingsUsed; ++i) {
        record_[static_cast<std::size_t>(i)] = kDefaults[static_cast<std::size_t>(i)];
    }
}

void CSettings::ResetToDefaults() {
    WriteDefaults();
    changed_ = 1;
}

void CSettings::Store() {
    if (!stored_) return;
    const bool autoMonitor = Get(MonitorAuto) == 1;
    if (autoMonitor) record_[MonitorAspect] = static_cast<std::uint8_t>(nativeAspect_);
    record_[SettingsVersion] = kStoredVersion;
    QSettings store = kolvane::Store();
    store.setValue(ValueName(),
                   QByteArray(reinterpret_cast<const char*>(record_.data()), kSettingsSize));
    store.sync();
    if (autoMonitor) record_[MonitorAspect] = 0;
    changed_ = 0;
}

// Takes a stored value into the record when it is a whole record; a byte
// outside its choices or range takes its default, so a damaged file can never
// yield a frame rate or column count of 0.
bool CSettings::ReadStoredRecord(const QString& valueName) {
    QSettings store = kolvane::Store();
    const QVariant value = store.value(valueName);
    if (!value.isValid()) return false;
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() != kSettingsSize) return false;
    for (int i = 0; i < kSettingsSize; ++i) {
        const int byte = static_cast<std::uint8_t>(bytes[i]);
        record_[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(IsValid(i, byte) ? byte : DefaultOf(i));
    }
    return true;
}

void CSettings::Restore() {
    if (!stored_) return;
    ReadStoredRecord(ValueName());
    if (record_[SettingsVersion] == 0) {
        QSettings store = kolvane::Store();
        const QStringList keys = store.childKeys();
        for (const QString& key : keys) {
            if (key.startsWith(kSettingsPrefix) && ReadStoredRecord(key)) break;
        }
    }
    if (record_[SettingsVersion] == 0) ResetToDefaults();
    if (record_[SettingsVersion] < 2) record_[Opacity] = 50;
    if (record_[Denoise] < 1) record_[Denoise] = 1;
    if (Get(MonitorAuto) == 1) {
        record_[MonitorAspect] = 0;
    } else {
        changed_ = 0;
    }
}

void CSettings::SetFromText(int index, const QString& text) {
    for (const SettingChoice& choice : ChoiceGroup(index)) {
        if (QString::fromUtf8(choice.text).startsWith(text)) {
            Set(index, choice.value);
            return;
        }
    }
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    Set(index, ok ? number : 0);
}

QString CSettings::ShortText(const QString& text) {
    qsizetype cut = text.size();
    for (QChar bracket : {u'(', u'[', u'{'}) {
        const qsizetype at = text.indexOf(bracket);
        if (at >= 0) cut = std::min(cut, at);
    }
    QString shortText = text.left(cut);
    while (!shortText.isEmpty() && shortText.back().isSpace())
        shortText.chop(1);
    return shortText;
}

QString CSettings::TextOf(int index, bool shortForm) const {
    const auto group = ChoiceGroup(index);
    if (group.empty()) return QString::number(Get(index));
    for (const SettingChoice& choice : group) {
        if (choice.value == Get(index)) {
            const QString text = QString::fromUtf8(choice.text);
            return shortForm ? ShortText(text) : text;
        }
    }
    return StringText(kManualText);
}

QStringList CSettings::ChoiceTexts(int index, bool shortForm) {
    QStringList texts;
    for (const SettingChoice& choice : ChoiceGroup(index)) {
        const QString text = QString::fromUtf8(choice.text);
        texts << (shortForm ? ShortText(text) : text);
    }
    return texts;
}

void CSettings::SaveRange(int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, kSettingsSize - 1);
    for (int i = from; i <= to; ++i)
        saved_[static_cast<std::size_t>(i)] = record_[static_cast<std::size_t>(i)];
}

void CSettings::RestoreRange(int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, kSettingsSize - 1);
    for (int i = from; i <= to; ++i)
        record_[static_cast<std::size_t>(i)] = saved_[static_cast<std::size_t>(i)];
}

bool CSettings::NoClickGrab() const {
    return kolvane::Store().value(QStringLiteral("NoClickGrab"), 0).toInt() == 1;
}

void CSettings::SetNoClickGrab(bool on) {
    QSettings store = kolvane::Store();
    store.setValue(QStringLiteral("NoClickGrab"), on ? 1 : 0);
    store.sync();
}

bool CSettings::FieldState(const QString& label) {
    if (label.isEmpty()) return true;
    QSettings store = kolvane::Store();
    store.beginGroup(QStringLiteral("FieldState"));
    return store.value(label, 1).toInt() != 0;
}

void CSettings::SetFieldState(const QString& label, bool on) {
    if (label.isEmpty()) return;
    QSettings store = kolvane::Store();
    store.beginGroup(QStringLiteral("FieldState"));
    store.setValue(label, on ? 1 : 0);
    store.endGroup();
    store.sync();
}

}  // namespace kolvane
