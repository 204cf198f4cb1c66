#include "model/MediaNames.h"

#include "model/Node.h"

namespace kolvane {

int CompareNames(const QString& a, const QString& b) {
    // UTF-16 code units sort surrogate pairs below U+E000..U+FFFF; compare
    // whole code points so the order equals that of the UTF-8 bytes.
    const auto ua = a.toUcs4();
    const auto ub = b.toUcs4();
    const qsizetype n = std::min(ua.size(), ub.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (ua[i] != ub[i]) return ua[i] < ub[i] ? -1 : 1;
    }
    if (ua.size() == ub.size()) return 0;
    return ua.size() < ub.size() ? -1 : 1;
}

bool SameNameIgnoringCase(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString BaseName(const QString& name, bool isImage) {
    qsizetype end = name.size();
    while (end > 0) {
        const QChar c = name[end - 1];
        const bool strip = c == u':' || c == u'_' || c == u'-' || c == u'.' || c == u' ' ||
                           (isImage && c >= u'0' && c <= u'9');
        if (!strip) break;
        --end;
    }
    return name.left(end);
}

QString BaseName(const CNode& node) {
    return BaseName(node.name, node.HasAny(kTypeImage));
}

int TrailingNumber(const QString& name) {
    qsizetype start = name.size();
    while (start > 0 && name[start - 1] >= u'0' && name[start - 1] <= u'9')
        --start;
    int value = 0;
    for (qsizetype i = start; i < name.size(); ++i) {
        const int digit = name[i].unicode() - u'0';
        if (value > (INT32_MAX - digit) / 10) return INT32_MAX;  // absurdly long digit runs
        value = value * 10 + digit;
    }
    return value;
}

QString DropLast(const QString& text, int count) {
    return text.left(std::max<qsizetype>(0, text.size() - count));
}

QString ImageName(const QString& base, int number) {
    return QStringLiteral("%1 %2").arg(base).arg(number, 4, 10, QLatin1Char('0'));
}

QString SoundCellName(const QString& soundName, int index) {
    return QStringLiteral("%1:%2").arg(soundName).arg(index, 4, 10, QLatin1Char(' '));
}

std::optional<SoundCellNameParts> ParseSoundCellName(const QString& cellName) {
    qsizetype digitsStart = cellName.size();
    while (digitsStart > 0 && cellName[digitsStart - 1].isDigit() &&
           cellName[digitsStart - 1].unicode() < 128) {
        --digitsStart;
    }
    if (digitsStart == cellName.size()) return std::nullopt;
    qsizetype colon = digitsStart;
    while (colon > 0 && cellName[colon - 1] == u' ')
        --colon;
    if (colon == 0 || cellName[colon - 1] != u':') return std::nullopt;
    SoundCellNameParts parts;
    parts.soundName = cellName.left(colon - 1);
    parts.index = TrailingNumber(cellName);
    return parts;
}

QString ItemNameFromPath(const QString& path) {
    const QString fileName = path.mid(path.lastIndexOf(u'/') + 1);
    return DropLast(fileName, 4);
}

bool SamePathIgnoringExtension(const QString& a, const QString& b) {
    return SameNameIgnoringCase(DropLast(a, 4), DropLast(b, 4));
}

}  // namespace kolvane
