#include "movie/MovieChoices.h"

#include <QDir>

#include "platform/StringTable.h"
#include "settings/DialogRecord.h"
#include "settings/Settings.h"
#include "storage/FolderChoice.h"
#include "storage/Globber.h"
#include "storage/WorkingFolders.h"

namespace kolvane {
namespace {

constexpr int kCustomText = 40356;
constexpr int kAviType = 40357;
constexpr int kMp4Type = 40358;
constexpr int kFirstResizing = 40360;  // "none" .. "pillarbox (16:9)"
constexpr int kResizingCount = 5;

const QString kAvi = QStringLiteral(".avi");
const QString kMp4 = QStringLiteral(".mp4");
const QString kNone = QStringLiteral("none");
const QString kH264 = QStringLiteral("H.264/AVC");
const QString kFfdshow = QStringLiteral("FFDShow");
// The AVI reductions after "none", each offered when its encoder is there.
const char* const kAviReductions[] = {"YUV 422", "DV Video", "Cinepak", "MS Video", "MS WMV9"};

struct PresetRow {
    int preset;  // index of the MoviePreset choice
    int type;    // string number
    int resizing;
    const char* reduction;
};
// master, broadcast, multimedia, webstream.
constexpr PresetRow kPresetRows[] = {
    {0, kAviType, kFirstResizing, "none"},
    {1, kAviType, kFirstResizing, "YUV 422"},
    {2, kMp4Type, kFirstResizing + 3, "H.264/AVC"},
    {3, kMp4Type, kFirstResizing + 4, "H.264/AVC"},
};

const QString kRecordType = QStringLiteral("Type");
const QString kRecordName = QStringLiteral("Name");
const QString kRecordPath = QStringLiteral("Path");
const QString kRecordSize = QStringLiteral("Size");
const QString kRecordComp = QStringLiteral("Comp");

QString ShortPreset(int index) {
    return CSettings::ShortText(CMovieChoices::Presets().value(index));
}

// The movie files of a folder, by name.
class CMovieFiles final : public CGlobber {
  public:
    CMovieFiles() : CGlobber({QStringLiteral(".*")}) {}
    QStringList names;

  protected:
    void OnMatch(const QString& path) override { names << path.mid(path.lastIndexOf(u'/') + 1); }
};

}  // namespace

CMovieChoices::CMovieChoices(const QString& documents, EncoderCheck available)
    : dotDestination_(JoinPath(documents, QStringLiteral("My Movies"))),
      remembered_(dotDestination_),
      available_(std::move(available)) {}

QStringList CMovieChoices::Presets() {
    return CSettings::ChoiceTexts(MoviePreset);
}

QStringList CMovieChoices::Types() {
    return {StringText(kAviType), StringText(kMp4Type)};
}

QStringList CMovieChoices::Resizings() {
    QStringList resizings;
    for (int i = 0; i < kResizingCount; ++i)
        resizings << StringText(kFirstResizing + i);
    return resizings;
}

QString CMovieChoices::Custom() {
    return StringText(kCustomText);
}

void CMovieChoices::Open(const CDialogRecord& record, CSettings& settings) {
    preset_ = settings.TextOf(MoviePreset, true);
    PresetChanged(settings);
    if (record.Exists()) {
        const std::pair<const QString*, QString*> fields[] = {
            {&kRecordType, &type_},     {&kRecordName, &name_},      {&kRecordPath, &destination_},
            {&kRecordSize, &resizing_}, {&kRecordComp, &reduction_},
        };
        for (const auto& [key, field] : fields) {
            if (auto value = record.Read(*key)) *field = *value;
        }
        return;
    }
    CWorkingFolders::CreateFolder(dotDestination_);
    destination_ = dotDestination_;
    name_.clear();
    names_.clear();
    preset_ = ShortPreset(0);
    PresetChanged(settings);
}

void CMovieChoices::PresetChanged(CSettings& settings) {
    settings.SetFromText(MoviePreset, preset_);
    for (const PresetRow& row : kPresetRows) {
        if (ShortPreset(row.preset) != preset_) continue;
        type_ = StringText(row.type);
        resizing_ = CSettings::ShortText(StringText(row.resizing));
        reduction_ = QString::fromLatin1(row.reduction);
        TypeChanged();
        return;
    }
}

void CMovieChoices::TypeChanged() {
    if (type_ == StringText(kMp4Type)) {
        extension_ = kMp4;
        reduction_ = kH264;
    } else {
        type_ = StringText(kAviType);
        extension_ = kAvi;
    }
    reductions_.clear();
    if (extension_ == kAvi) {
        reductions_ << kNone;
        for (const char* reduction : kAviReductions) {
            if (available_ && available_(QString::fromLatin1(reduction), extension_))
                reductions_ << QString::fromLatin1(reduction);
        }
    }
    // H.264/AVC is never listed: the MP4 type sets it.
    if (available_ && available_(kFfdshow, extension_)) reductions_ << kFfdshow;
    DerivePreset();
}

void CMovieChoices::DestinationChanged() {
    remembered_ = ResolveFolderText(destination_, remembered_, dotDestination_);
    destination_ = remembered_;
    destinations_ = FolderChoices(destination_);
    names_.clear();
    if (!destination_.isEmpty()) {
        CMovieFiles scan;
        scan.Glob(JoinPath(destination_, QStringLiteral("*") + kAvi));
        scan.Glob(JoinPath(destination_, QStringLiteral("*") + kMp4));
        scan.names.sort();
        names_ = scan.names;
    }
    DerivePreset();
}

void CMovieChoices::DerivePreset() {
    preset_ = Custom();
    for (const PresetRow& row : kPresetRows) {
        if (type_ == StringText(row.type) &&
            resizing_ == CSettings::ShortText(StringText(row.resizing)) &&
            reduction_ == QLatin1String(row.reduction)) {
            preset_ = ShortPreset(row.preset);
            return;
        }
    }
}

void CMovieChoices::Store(const CDialogRecord& record) const {
    record.Write({{kRecordType, type_},
                  {kRecordName, name_},
                  {kRecordPath, destination_},
                  {kRecordSize, resizing_},
                  {kRecordComp, reduction_}});
}

bool CMovieChoices::OkEnabled() const {
    return !type_.isEmpty() && !name_.isEmpty() && !destination_.isEmpty() &&
           !resizing_.isEmpty() && !reduction_.isEmpty();
}

bool CMovieChoices::NameIsValid() const {
    return IsValidEntryName(name_);
}

QString CMovieChoices::MoviePath() const {
    const bool hasExtension =
        name_.endsWith(kAvi, Qt::CaseInsensitive) || name_.endsWith(kMp4, Qt::CaseInsensitive);
    return JoinPath(destination_, hasExtension ? name_ : name_ + extension_);
}

}  // namespace kolvane
