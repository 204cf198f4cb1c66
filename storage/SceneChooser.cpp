#include "storage/SceneChooser.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "platform/StringTable.h"
#include "settings/DialogRecord.h"
#include "settings/Settings.h"
#include "storage/FolderChoice.h"
#include "storage/Globber.h"
#include "storage/MediaFiles.h"
#include "storage/WorkingFolders.h"

namespace kolvane {
namespace {

constexpr int kBaseLabel = 40302;
constexpr int kFirstLevelLabel = 40303;  // "level 2" .. "level 5"
constexpr int kDefaultFormat = 40340;    // "default", then "BMP images" .. "TGA images"
constexpr int kFormatCount = 7;
constexpr int kTgaFormat = 6;

// The string numbers of the labels of levels 2 to 5, by project type.
constexpr int kPresetLabels[4][4] = {
    {40310, 40311, 40312, 40313},  // feature film: title, sequence, scene, version
    {40310, 40314, 40312, 40313},  // tv-series: title, episode, scene, version
    {40315, 40316, 40317, 40313},  // school: course, student, exercise, version
    {40318, 40319, 40320, 40313},  // workshop: group, project, session, version
};
constexpr const char* kFormatExtensions[kFormatCount] = {"",     ".bmp", ".jpg", ".png",
                                                         ".gif", ".tif", ".tga"};

const QString kRecordPreset = QStringLiteral("Preset");
const QString kRecordFormat = QStringLiteral("Format");

QString LevelKey(int level) {
    return QStringLiteral("Level%1").arg(level);
}

// Keeps the folder with the latest last change among those reported; on
// equal times the first one (reports come in name order).
class CNewestFolder final : public CGlobber {
  public:
    CNewestFolder() : CGlobber({QStringLiteral(".*/")}) {}
    QString path;

  protected:
    void OnMatch(const QString& match) override {
        // A pattern without wildcards is reported whether it exists or not.
        if (!QFileInfo(match).isDir()) return;
        const QDateTime changed = QFileInfo(match).lastModified();
        if (path.isEmpty() || changed > newest_) {
            path = match;
            newest_ = changed;
        }
    }

  private:
    QDateTime newest_;
};

// Whether any file matches: the globber stops being asked after the first.
class CAnyFile final : public CGlobber {
  public:
    CAnyFile() : CGlobber({QStringLiteral("._*")}) {}
    bool found = false;

  protected:
    void OnMatch(const QString&) override { found = true; }
};

}  // namespace

CSceneChooser::CSceneChooser(const QString& documents)
    : dotBase_(JoinPath(documents, QStringLiteral("My Scenes"))), base_(dotBase_) {
    labels_[0] = StringText(kBaseLabel);
    for (int level = 2; level <= kLevels; ++level)
        labels_[Index(level)] = StringText(kFirstLevelLabel + level - 2);
}

QStringList CSceneChooser::Presets() {
    return CSettings::ChoiceTexts(ProjectType);
}

QStringList CSceneChooser::Formats(int kind) {
    QStringList formats;
    for (int i = 0; i < kFormatCount; ++i) {
        if (i == kTgaFormat && kind != kOpenScene) break;
        formats << StringText(kDefaultFormat + i);
    }
    return formats;
}

std::optional<std::array<QString, 4>> CSceneChooser::LevelLabels(const QString& preset) {
    const qsizetype index = Presets().indexOf(preset);
    if (index < 0) return std::nullopt;
    std::array<QString, 4> labels;
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i] = StringText(kPresetLabels[index][i]);
    return labels;
}

void CSceneChooser::Open(int kind, const CDialogRecord& record, const CSettings& settings,
                         bool untitled) {
    kind_ = kind;
    preset_ = settings.TextOf(ProjectType, false);
    const bool stored = record.Exists();
    std::optional<QString> storedFormat;
    if (stored) {
        if (auto preset = record.Read(kRecordPreset); preset && LevelLabels(*preset))
            preset_ = *preset;
        storedFormat = record.Read(kRecordFormat);
        for (int level = 1; level <= kLevels; ++level) {
            if (auto text = record.Read(LevelKey(level))) SetLevel(level, *text);
        }
    }
    // Only a save keeps its format; a format it does not offer is none.
    format_ = StringText(kDefaultFormat);
    if (kind_ == kSaveScene && storedFormat && Formats(kind_).contains(*storedFormat))
        format_ = *storedFormat;

    if (!stored || !record.Read(LevelKey(kLevels))) {
        CWorkingFolders::CreateFolder(dotBase_);
        for (int level = 1; level <= kLevels; ++level) {
            SetLevel(level, QString());
            lists_[Index(level)].clear();
        }
    }
    if (kind_ == kSaveScene && untitled) {
        for (int level = 2; level <= kLevels; ++level) {
            SetLevel(level, QString());
            lists_[Index(level)].clear();
        }
    }
}

void CSceneChooser::PresetChanged(CSettings& settings) {
    const auto labels = LevelLabels(preset_);
    if (!labels) return;
    for (int level = 2; level <= kLevels; ++level)
        labels_[Index(level)] = (*labels)[static_cast<std::size_t>(level - 2)];
    settings.Set(ProjectType, static_cast<int>(Presets().indexOf(preset_)));
}

void CSceneChooser::FormatChanged() {
    const qsizetype index = Formats(kind_).indexOf(format_);
    if (index > 0) {
        extensions_ = QStringList{QString::fromLatin1(kFormatExtensions[index])};
    } else if (kind_ == kOpenScene) {
        extensions_ = DefaultSceneExtensions();
    } else {
        extensions_ = QStringList{QString()};
    }
    EvaluateOk();
}

void CSceneChooser::LevelChanged(int level) {
    level = std::clamp(level, 1, kLevels);
    for (int j = 2; j <= kLevels; ++j)
        lists_[Index(j)].clear();
    if (level == 1) {
        base_ = ResolveFolderText(Level(1), base_, dotBase_);
        SetLevel(1, base_);
        lists_[0] = FolderChoices(base_);
    }
    // Opening: a name that leads nowhere yet does not keep the levels around
    // it, so that the completion below can fill them.
    if (kind_ != kSaveScene && !okEnabled_) {
        if (!Level(level).isEmpty() && !QFileInfo(SceneFolder()).isDir()) {
            for (int j = 2; j < level; ++j)
                SetLevel(j, QString());
        }
        for (int j = level + 1; j <= kLevels; ++j)
            SetLevel(j, QString());
    }
    if (Level(1).isEmpty()) {
        EvaluateOk();
        return;
    }
    if (level >= 2 && !Level(level).isEmpty()) CompleteFrom(level);
    FillLists();
    EvaluateOk();
}

std::optional<QString> CSceneChooser::LevelPattern(int last) const {
    QString pattern = Level(1);
    for (int j = 2; j <= last; ++j) {
        const QString& name = Level(j);
        if (!name.isEmpty() && !IsValidEntryName(name)) return std::nullopt;
        pattern = JoinPath(pattern, name.isEmpty() ? QStringLiteral("*") : name);
    }
    return pattern;
}

void CSceneChooser::CompleteFrom(int level) {
    const auto pattern = LevelPattern(level);
    if (!pattern) return;
    CNewestFolder scan;
    scan.Glob(*pattern + u'/');
    if (scan.path.isEmpty()) return;
    // Its parents' names into the levels above, nearest first.
    QStringList names = scan.path.chopped(1).split(u'/');
    names.removeLast();
    for (int j = level - 1; j >= 2 && !names.isEmpty(); --j)
        SetLevel(j, names.takeLast());
}

void CSceneChooser::FillLists() {
    for (int level = 2; level <= kLevels; ++level) {
        QStringList& list = lists_[Index(level)];
        list = QStringList{QString()};
        const auto parent = LevelPattern(level - 1);
        if (!parent) continue;
        QStringList names = MatchingFolderNames(JoinPath(*parent, QStringLiteral("*/")));
        names.sort();
        names.removeDuplicates();
        list << names;
    }
}

bool CSceneChooser::HoldsFile(const QString& suffix) const {
    CAnyFile scan;
    scan.Glob(SceneFolder() + u'*' + suffix);
    return scan.found;
}

void CSceneChooser::EvaluateOk() {
    bool ok = false;
    if (!Level(1).isEmpty()) {
        switch (kind_) {
            case kOpenScene:
                ok = !RefusedLevel() &&
                     std::any_of(extensions_.begin(), extensions_.end(),
                                 [this](const QString& extension) { return HoldsFile(extension); });
                break;
            case kOpenSceneTiming:
                ok = !RefusedLevel() && HoldsFile(QStringLiteral(".csv"));
                break;
            default:
                ok = true;
                for (int level = 2; level <= kLevels; ++level)
                    ok = ok && !Level(level).isEmpty();
                break;
        }
    }
    okEnabled_ = ok;
}

QString CSceneChooser::SceneFolder() const {
    QString folder = Level(1);
    for (int level = 2; level <= kLevels; ++level)
        folder = JoinPath(folder, Level(level));
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

std::optional<int> CSceneChooser::RefusedLevel() const {
    for (int level = 2; level <= kLevels; ++level) {
        if (!Level(level).isEmpty() && !IsValidEntryName(Level(level))) return level;
    }
    return std::nullopt;
}

void CSceneChooser::Store(const CDialogRecord& record) const {
    if (kind_ == kOpenSceneTiming) return;
    QMap<QString, QString> values;
    values.insert(kRecordFormat, format_);
    for (int level = 1; level <= kLevels; ++level)
        values.insert(LevelKey(level), Level(level));
    if (kind_ == kSaveScene) values.insert(kRecordPreset, preset_);
    record.Write(values);
}

}  // namespace kolvane
