#pragma once

#include <ostream>

#include <QString>
#include <QStringList>

#include "model/MdiaList.h"
#include "model/XshtList.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane::test {

// Exposure sheets written as patterns: one text per cell, "-" for a blank
// cell, any other text an image item of that name.

// The image item named `name`, added to the media list when missing.
inline CNode* ImageItem(CMdiaList& media, const QString& name) {
    if (CNode* level = media.ImageLevel()) {
        for (CNode* item : *level->children) {
            if (item->name == name) return item;
        }
    }
    return media.AddMediaFile(kTypeImage, QStringLiteral("/scene/%1.png").arg(name));
}

// Appends a column named `name` with cells after `pattern`.
inline CNode* AddColumn(CXshtList& sheet, CMdiaList& media, const QString& name,
                        const QStringList& pattern) {
    CNode* column = sheet.GetColumn(sheet.Levels().size(), name);
    for (const QString& cell : pattern) {
        column->children->append(CNode::NewCell(cell == "-" ? nullptr : ImageItem(media, cell)));
    }
    return column;
}

// A column's cell names, blanks as "-".
inline QStringList CellNames(const CNode& column) {
    QStringList names;
    for (const CNode* cell : *column.children)
        names << (cell->HasAny(kTypeBlank) ? QStringLiteral("-") : cell->name);
    return names;
}

// Selects rows `first` to `last` of a column.
inline void SelectRows(CNode& column, int first, int last) {
    for (int row = first; row <= last; ++row)
        column.children->at(row)->Select();
}

// Everything a snapshot must bring back: column names and order, every
// cell's name, kind and media item.
inline QString SheetText(const CXshtList& sheet) {
    QString text;
    for (const CNode* column : sheet.Levels()) {
        text += column->name + u':';
        for (const CNode* cell : *column->children) {
            text += QStringLiteral(" %1/%2/%3")
                        .arg(cell->name)
                        .arg(cell->type, 0, 16)
                        .arg(reinterpret_cast<quintptr>(cell->item), 0, 16);
        }
        text += u'\n';
    }
    return text;
}

}  // namespace kolvane::test
