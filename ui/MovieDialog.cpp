#include "ui/MovieDialog.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "movie/MovieFrame.h"
#include "movie/MoviePipeline.h"
#include "movie/MovieWriter.h"
#include "platform/StringTable.h"
#include "settings/DialogRecord.h"
#include "settings/Settings.h"
#include "storage/SafeFile.h"
#include "storage/WorkingFolders.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/TextButton.h"

namespace kolvane {
namespace {

constexpr int kTitle = 40350;
constexpr int kPresetLabel = 40300;
constexpr int kFirstLabel = 40351;    // "movie type" .. "reduction"
constexpr int kFirstTooltip = 50310;  // one per field
constexpr int kReplaceMovie = 60023;
constexpr int kRefusedName = 60030;
constexpr int kAnamorphic = 255;  // the player's letterbox "stretch (anamorphic video)"
constexpr int kVisibleRows[CMovieDialog::kFieldCount] = {2, 3, 5, 6, 3, 3};

const QString kRecordGroup = QStringLiteral("LastMovie");

}  // namespace

CMovieDialog::CMovieDialog(QWidget* owner, CSettings& settings, const CXshtList& sheet,
                           CMovieWriter& writer, const QString& documents)
    : CRowsDialog(owner),
      settings_(settings),
      sheet_(sheet),
      writer_(writer),
      choices_(documents.isEmpty() ? CWorkingFolders::DefaultDocuments() : documents,
               [&writer](const QString& reduction, const QString& extension) {
                   return writer.IsEncoderAvailable(reduction, extension == QLatin1String(".mp4")
                                                                   ? MovieContainer::kMp4
                                                                   : MovieContainer::kAvi);
               }) {
    for (int field = 0; field < kFieldCount; ++field) {
        CComboBar* row = AddRow(kFirstCommand + field, StringText(kFirstTooltip + field),
                                field == kPreset || field == kType, kVisibleRows[field]);
        // "master (no compression)" is chosen as master; names and folders
        // are taken whole.
        row->SetShortForm(field != kName && field != kDestination);
    }
    Row(kPreset)->SetItems(CMovieChoices::Presets());
    Row(kType)->SetItems(CMovieChoices::Types());
    Row(kResizing)->SetItems(CMovieChoices::Resizings());
}

CMovieDialog::~CMovieDialog() = default;

int CMovieDialog::Run() {
    return RunRows(StringText(kTitle));
}

void CMovieDialog::OnOpen() {
    choices_.Open(CDialogRecord(kRecordGroup), settings_);
    choices_.TypeChanged();
    choices_.DestinationChanged();
    choices_.DerivePreset();
    ShowFields();
    Row(kName)->Field()->setFocus(Qt::OtherFocusReason);
}

void CMovieDialog::ReadFields() {
    choices_.SetPreset(Row(kPreset)->Text());
    choices_.SetType(Row(kType)->Text());
    choices_.SetName(Row(kName)->Text());
    choices_.SetDestination(Row(kDestination)->Text());
    choices_.SetResizing(Row(kResizing)->Text());
    choices_.SetReduction(Row(kReduction)->Text());
}

void CMovieDialog::ShowFields() {
    Row(kPreset)->SetText(choices_.Preset());
    Row(kType)->SetText(choices_.Type());
    Row(kName)->SetText(choices_.Name());
    Row(kDestination)->SetText(choices_.Destination());
    Row(kResizing)->SetText(choices_.Resizing());
    Row(kReduction)->SetText(choices_.Reduction());
    Row(kName)->SetItems(choices_.Names());
    Row(kDestination)->SetItems(choices_.Destinations());
    Row(kReduction)->SetItems(choices_.Reductions());
    if (CBasicButton* ok = Button(1)) ok->setEnabled(choices_.OkEnabled());
}

bool CMovieDialog::OnCommand(int id) {
    const int field = id - kFirstCommand;
    if (field >= 0 && field < kFieldCount) {
        if (!IsOpen()) return true;
        ReadFields();
        switch (field) {
            case kPreset:
                choices_.PresetChanged(settings_);
                break;
            case kType:
                choices_.TypeChanged();
                break;
            case kDestination:
                choices_.DestinationChanged();
                break;
            case kResizing:
                // A typed size is held to what the movie can have.
                choices_.SetResizing(HeldTypedSize(choices_.Resizing()));
                choices_.DerivePreset();
                break;
            default:
                choices_.DerivePreset();
                break;
        }
        ShowFields();
        return true;
    }
    if (id == kOk) return !WriteMovie();  // handled (stays open) unless it may close
    return false;
}

bool CMovieDialog::WriteMovie() {
    ReadFields();
    choices_.DerivePreset();
    ShowFields();
    if (!choices_.OkEnabled()) return false;
    if (!choices_.NameIsValid()) {
        ShowMessage(CMessageDialog::kError, kRefusedName);
        return false;
    }
    const QString path = choices_.MoviePath();
    // An existing movie is replaced only once the new one is whole.
    if (QFileInfo::exists(path) &&
        ShowMessage(CMessageDialog::kConfirm, kReplaceMovie) != CBasicDialog::kYes) {
        return false;
    }
    // Results here are kolvane::kOk (0), not the dialog's ok button (1).
    if (CAtomicFile probe; probe.Open(path) != kolvane::kOk) {
        ShowMessage(CMessageDialog::kError, msg::kCannotSaveMovie);
        return false;
    }

    const MovieFrame frame =
        MovieFrameFor(LargestPicture(sheet_, &PictureFileSize), HeldTypedSize(choices_.Resizing()),
                      settings_.Get(PlayLetterbox) == kAnamorphic);
    const QRect rect = HeldToMaxMovieSide(frame.rect);
    if (rect.isEmpty()) {
        // No picture to measure the movie by, and no size typed.
        ShowMessage(CMessageDialog::kError, msg::kCannotFindFiles);
        return false;
    }
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    kolvane::Result result = kFail;
    {
        CProgressDialog progress(this);
        result = writer_.WriteMovie(path, choices_.Extension(), choices_.Reduction(), rect,
                                    frame.fitMode, progress);
    }
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    if (result != kolvane::kOk) {
        ShowMessage(CMessageDialog::kError, result < 0 ? msg::kCannotSaveMovie : result,
                    writer_.ErrorDetail());
        return false;
    }
    choices_.Store(CDialogRecord(kRecordGroup));
    return true;
}

QStringList CMovieDialog::Labels() {
    QStringList labels{StringText(kPresetLabel)};
    for (int field = kType; field < kFieldCount; ++field)
        labels << StringText(kFirstLabel + field - kType);
    return labels;
}

}  // namespace kolvane
