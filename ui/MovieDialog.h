#pragma once

#include "movie/MovieChoices.h"
#include "platform/ResultCodes.h"
#include "ui/RowsDialog.h"

namespace kolvane {

class CMovieWriter;
class CSettings;
class CXshtList;

// "Save Movie": a purpose preset, the movie type, the file name and folder,
// the resizing and the reduction (see CMovieChoices). OK works out the frame
// from the scene's pictures and runs the movie writer with its progress box;
// its "abort" ends the movie with no file left. On a failure the dialog stays
// open; the fields are remembered only after a movie was made.
class CMovieDialog : public CRowsDialog {
    Q_OBJECT
  public:
    enum Field : int { kPreset, kType, kName, kDestination, kResizing, kReduction, kFieldCount };
    // The command each field sends: 33070 (preset) to 33075 (reduction).
    static constexpr int kFirstCommand = 33070;

    // `documents` holds "My Movies", the first destination (the user's
    // documents folder when none is given).
    CMovieDialog(QWidget* owner, CSettings& settings, const CXshtList& sheet, CMovieWriter& writer,
                 const QString& documents = QString());
    ~CMovieDialog() override;

    // Runs modally and answers how it ended (kOk once the movie is made).
    int Run();

    const CMovieChoices& Choices() const { return choices_; }
    static QStringList Labels();

  protected:
    void OnOpen() override;
    bool OnCommand(int id) override;
    QStringList RowLabels() const override { return Labels(); }

  private:
    void ReadFields();
    void ShowFields();
    // True when the movie was made and the dialog may close.
    bool WriteMovie();

    CSettings& settings_;
    const CXshtList& sheet_;
    CMovieWriter& writer_;
    CMovieChoices choices_;
};

}  // namespace kolvane
