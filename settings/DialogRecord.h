#pragma once

#include <optional>

#include <QMap>
#include <QString>
#include <QStringList>

namespace kolvane {

// The last fields of a dialog ("LastScene", "LastMovie"), kept as text values
// of a group in the user's settings file beside the settings record.
class CDialogRecord {
  public:
    // A value longer than this is no field of ours and reads as missing.
    static constexpr qsizetype kMaxValueLength = 259;

    explicit CDialogRecord(QString group) : group_(std::move(group)) {}

    // Whether the group exists at all.
    bool Exists() const;
    // A value, none when it is missing or unreadable (not text, too long).
    std::optional<QString> Read(const QString& name) const;
    // Writes the values given; the others stay.
    void Write(const QMap<QString, QString>& values) const;

  private:
    QString group_;
};

}  // namespace kolvane
