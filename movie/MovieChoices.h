#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

namespace kolvane {

class CDialogRecord;
class CSettings;

// The movie dialog's fields and their rules, without the widgets: a purpose
// preset sets the movie type, the resizing and the reduction in one step;
// any other choice turns the preset into "(custom)" unless the fields match
// a preset again. The reductions offered are those the movie writer finds
// encoders for on this machine.
class CMovieChoices {
  public:
    // Whether the movie writer has an encoder for a reduction text whose
    // pictures that container (".avi" or ".mp4") stores.
    using EncoderCheck = std::function<bool(const QString& reduction, const QString& extension)>;

    // `documents` is the user's documents folder: "My Movies" there is the
    // first destination.
    CMovieChoices(const QString& documents, EncoderCheck available);

    static QStringList Presets();  // long forms, as the list shows them
    static QStringList Types();
    static QStringList Resizings();
    static QString Custom();

    // Opening: the preset of the MoviePreset setting, then the fields of the
    // record; without a record "My Movies" (made), no name and "master". The
    // caller then changes the type and the destination.
    void Open(const CDialogRecord& record, CSettings& settings);
    void PresetChanged(CSettings& settings);
    void TypeChanged();
    void DestinationChanged();
    // Any field: the preset from the fields.
    void DerivePreset();
    // After a successful movie.
    void Store(const CDialogRecord& record) const;

    const QString& Preset() const { return preset_; }
    void SetPreset(const QString& text) { preset_ = text; }
    const QString& Type() const { return type_; }
    void SetType(const QString& text) { type_ = text; }
    const QString& Name() const { return name_; }
    void SetName(const QString& text) { name_ = text; }
    const QString& Destination() const { return destination_; }
    void SetDestination(const QString& text) { destination_ = text; }
    const QString& Resizing() const { return resizing_; }
    void SetResizing(const QString& text) { resizing_ = text; }
    const QString& Reduction() const { return reduction_; }
    void SetReduction(const QString& text) { reduction_ = text; }

    const QStringList& Reductions() const { return reductions_; }
    const QStringList& Destinations() const { return destinations_; }
    const QStringList& Names() const { return names_; }
    // ".avi" or ".mp4".
    const QString& Extension() const { return extension_; }

    bool OkEnabled() const;
    // Whether the name can be a file name in the destination.
    bool NameIsValid() const;
    // Destination and name, with the type's extension unless the name ends in
    // ".avi" or ".mp4" already (the writer goes by that extension).
    QString MoviePath() const;

  private:
    QString dotDestination_;  // "My Movies"
    QString remembered_;
    EncoderCheck available_;
    QString preset_;
    QString type_;
    QString name_;
    QString destination_;
    QString resizing_;
    QString reduction_;
    QStringList reductions_;
    QStringList destinations_;
    QStringList names_;
    QString extension_ = QStringLiteral(".avi");
};

}  // namespace kolvane
