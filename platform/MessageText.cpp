#include "platform/MessageText.h"

#include <cstring>

#include "platform/StringTable.h"

namespace kolvane {

QString OneLineSystemText(const QString& raw) {
    QString text = raw;
    while (!text.isEmpty() && (text.back() == u'\n' || text.back() == u'\r'))
        text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    text.remove(u'\r');
    text.replace(u'\n', u' ');
    return text;
}

QString WithSubject(const QString& text, const QString& subject) {
    if (subject.isEmpty()) return text;
    if (text.isEmpty()) return subject;
    return text + QLatin1String(text.endsWith(u':') ? " " : ": ") + subject;
}

QString MessageText(int id) {
    if (id > 0x7FFF) return StringText(id);
    if (id <= 0) return {};
    // strerrordesc_np answers none for an unknown code, where strerror would
    // make up "Unknown error N".
    const char* text = strerrordesc_np(id);
    if (text == nullptr) return {};
    return OneLineSystemText(QString::fromLocal8Bit(text));
}

}  // namespace kolvane
