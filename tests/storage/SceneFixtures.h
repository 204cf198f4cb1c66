#pragma once

#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QStringList>

#include "engine/Engine.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "platform/Progress.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "storage/Storage.h"
#include "storage/Undo.h"

// Readable failure messages for names and paths.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane::test {

// A small picture of one colour, written in the format its extension names.
inline void WriteImage(const QString& path, QColor colour = Qt::darkCyan) {
    QDir().mkpath(QFileInfo(path).path());
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path)) << path.toStdString();
}

inline void WriteText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The colour of a picture's first pixel; invalid when it does not decode.
inline QColor ColourOf(const QString& path) {
    const QImage image(path);
    return image.isNull() ? QColor() : image.pixelColor(0, 0);
}

// Every entry of a folder (hidden ones too), sorted.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A progress window that answers from a script and remembers what it was told.
class ScriptedProgress final : public IProgress {
  public:
    void Open(int titleId, int buttonSet) override {
        open = true;
        title = titleId;
        buttons = buttonSet;
    }
    void SetRange(int total) override { range = total; }
    int Step(int position) override {
        positions << position;
        if (onStep) onStep();
        return answers.value(positions.size() - 1, kGoOn);
    }
    void Close() override {
        open = false;
        ++closed;
    }
    bool IsOpen() const override { return open; }

    QList<int> answers;            // Step's answer, step by step
    std::function<void()> onStep;  // runs at every step before it answers
    QList<int> positions;
    bool open = false;
    int title = 0;
    int buttons = -1;
    int range = 0;
    int closed = 0;
};

// One run of the program over one set of working folders: the engine without
// the desktop, its pictures checked by decoding without keeping a texture. A
// second session over the same folders is the next start.
class SceneSession : public CEngine {
  public:
    SceneSession(const QString& root, const QString& documents)
        : CEngine(Headless{root, documents, [](CNode& item) {
                               return QImage(item.imageInfo->path).isNull() ? kFail : kOk;
                           }}) {}

    QString Grab() const { return storage.GetGrabFolder(); }

    // Grabs image `name` into the Grab folder as the grabber does, and places
    // it on the sheet as an edit: the snapshot first.
    CNode* GrabImage(const QString& name, QColor colour = Qt::darkCyan) {
        const QString path = Grab() + name + QStringLiteral(".png");
        WriteImage(path, colour);
        CNode* item = media.AddMediaFile(kTypeImage, path);
        media.RecomputeSummaries();
        Place(item, 1);
        return item;
    }
    void Place(CNode* item, int times) {
        EXPECT_EQ(undo.RecordEdit(sheet), kOk);
        for (int i = 0; i < times; ++i)
            sheet.PlaceItem(item);
        sheet.Normalise();
        sheet.RecomputeSummaries();
    }

    // The names the first column shows, frame by frame, blanks left out.
    QStringList Cells() const {
        QStringList names;
        if (sheet.Levels().empty()) return names;
        for (const CNode* cell : *sheet.Levels().front()->children) {
            if (cell->item != nullptr) names << cell->name;
        }
        return names;
    }
    // The sheet as text, one "column: cells" line per named column.
    QString Sheet() const {
        QStringList lines;
        for (const CNode* column : sheet.Levels()) {
            if (column->name.isEmpty()) continue;
            QStringList cells;
            for (const CNode* cell : *column->children)
                cells << cell->name;
            while (!cells.isEmpty() && cells.back().isEmpty())
                cells.removeLast();
            lines << column->name + QStringLiteral(": ") + cells.join(u',');
        }
        return lines.join(u'\n');
    }
    QStringList Images() const {
        QStringList names;
        if (const CNode* level = media.ImageLevel()) {
            for (const CNode* item : *level->children)
                names << item->name;
        }
        return names;
    }

    CAnim grabLevel{media};
};

}  // namespace kolvane::test
