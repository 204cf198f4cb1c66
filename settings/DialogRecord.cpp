#include "settings/DialogRecord.h"

#include <QSettings>

namespace kolvane {
namespace {

// The same file as the settings record.
QSettings Store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brevanta"),
                     QStringLiteral("Kolvane"));
}

}  // namespace

bool CDialogRecord::Exists() const {
    return Store().childGroups().contains(group_);
}

std::optional<QString> CDialogRecord::Read(const QString& name) const {
    QSettings store = Store();
    store.beginGroup(group_);
    const QVariant value = store.value(name);
    if (!value.isValid() || !value.canConvert<QString>()) return std::nullopt;
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    QString text = value.toString();
    if (text.size() > kMaxValueLength) return std::nullopt;
    return text;
}

void CDialogRecord::Write(const QMap<QString, QString>& values) const {
    QSettings store = Store();
    store.beginGroup(group_);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    store.endGroup();
    store.sync();
}

}  // namespace kolvane
