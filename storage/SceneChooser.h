#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringList>

namespace kolvane {

class CDialogRecord;
class CSettings;

// The scene dialog's fields and their rules, without the widgets: a project
// type (the preset) names the four levels below a base folder, and the scene
// folder is base/level 2/level 3/level 4/level 5. Each level offers the
// folders that exist at its place; a name typed at a deep level completes
// the levels above it from the most recently changed folder of that name.
//
// The dialog copies its field texts in, runs a step, and shows the texts,
// labels and lists again.
class CSceneChooser {
  public:
    // The dialog's kinds, for one showing.
    enum Kind : int { kOpenScene = 16, kOpenSceneTiming = 17, kSaveScene = 18 };
    static constexpr int kLevels = 5;  // level 1 is the base

    // `documents` is the user's documents folder: "My Scenes" there is the
    // first base.
    explicit CSceneChooser(const QString& documents);

    static QStringList Presets();
    // The formats a kind offers ("TGA images" opens only).
    static QStringList Formats(int kind);
    // The labels of levels 2 to 5 for a preset; none for an unknown one.
    static std::optional<std::array<QString, 4>> LevelLabels(const QString& preset);

    // Opening: the preset of the ProjectType setting, then the fields of the
    // record. Without a record yet the base is "My Scenes" (made) and the
    // levels are empty; a Save Scene of an untitled scene empties levels 2 to
    // 5, so that it must be named. The caller then applies the preset and the
    // format and changes level 1.
    void Open(int kind, const CDialogRecord& record, const CSettings& settings, bool untitled);
    // The preset's labels and the ProjectType setting.
    void PresetChanged(CSettings& settings);
    // The extension list of the format.
    void FormatChanged();
    // Level `level` (1 to 5) was changed by the user.
    void LevelChanged(int level);
    // Kinds 16 and 18 keep the fields once their procedure ran (the preset
    // only in 18).
    void Store(const CDialogRecord& record) const;

    int Kind() const { return kind_; }
    const QString& Preset() const { return preset_; }
    void SetPreset(const QString& text) { preset_ = text; }
    const QString& Format() const { return format_; }
    void SetFormat(const QString& text) { format_ = text; }
    // Levels 1 to 5.
    const QString& Level(int level) const { return levels_[Index(level)]; }
    void SetLevel(int level, const QString& text) { levels_[Index(level)] = text; }
    const QStringList& LevelList(int level) const { return lists_[Index(level)]; }
    // The label of levels 1 ("base") to 5.
    const QString& Label(int level) const { return labels_[Index(level)]; }
    const QString& Base() const { return base_; }
    // Which files the procedure takes: Open Scene's extensions, or the one
    // Save Scene writes ("" keeps each image's own).
    const QStringList& Extensions() const { return extensions_; }

    // The ok rule of the kind, as last evaluated.
    bool OkEnabled() const { return okEnabled_; }
    void EvaluateOk();
    // Base and levels joined, with a trailing "/".
    QString SceneFolder() const;
    // The first of levels 2 to 5 whose text cannot be a folder name, or none.
    std::optional<int> RefusedLevel() const;

  private:
    static std::size_t Index(int level) {
        return static_cast<std::size_t>(std::clamp(level, 1, kLevels) - 1);
    }
    // base/L2/.../L`last` as a pattern, empty levels standing for any folder;
    // none when a level holds a name that is no folder name.
    std::optional<QString> LevelPattern(int last) const;
    void CompleteFrom(int level);
    void FillLists();
    bool HoldsFile(const QString& suffix) const;

    QString dotBase_;  // "My Scenes"
    QString base_;     // the remembered base: the last valid level 1
    int kind_ = kOpenScene;
    QString preset_;
    QString format_;
    std::array<QString, kLevels> levels_;
    std::array<QStringList, kLevels> lists_;
    std::array<QString, kLevels> labels_;
    QStringList extensions_;
    bool okEnabled_ = false;
};

}  // namespace kolvane
