#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QStringList>

#include "platform/Progress.h"

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
        return answers.value(positions.size() - 1, kGoOn);
    }
    void Close() override {
        open = false;
        ++closed;
    }
    bool IsOpen() const override { return open; }

    QList<int> answers;  // Step's answer, step by step
    QList<int> positions;
    bool open = false;
    int title = 0;
    int buttons = -1;
    int range = 0;
    int closed = 0;
};

}  // namespace kolvane::test
