#include "platform/MemoryLoad.h"

#include <chrono>
#include <memory>

#include <QFile>
#include <QList>

namespace kolvane {
namespace {

// The value in kB of a "Name:   1234 kB" line, or none.
std::optional<qint64> FieldKilobytes(const QByteArray& meminfo, QByteArrayView name) {
    for (const QByteArray& line : meminfo.split('\n')) {
        if (!line.startsWith(name) || line.size() <= name.size() || line[name.size()] != ':')
            continue;
        const QList<QByteArray> parts = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const qint64 value = parts.value(0).toLongLong(&ok);
        if (!ok || value < 0) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> ParseMemoryLoad(const QByteArray& meminfo) {
    const auto total = FieldKilobytes(meminfo, "MemTotal");
    const auto available = FieldKilobytes(meminfo, "MemAvailable");
    if (!total || !available || *total <= 0) return std::nullopt;
    const qint64 used = std::max<qint64>(0, *total - std::min(*available, *total));
    return static_cast<int>(used * 100 / *total);
}

std::optional<int> ReadMemoryLoad(const QString& meminfoPath) {
    QFile file(meminfoPath);
    // /proc files report size 0: read until the end instead of by size.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return std::nullopt;
    QByteArray text;
    char chunk[4096];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got <= 0) break;
        text.append(chunk, got);
    }
    return ParseMemoryLoad(text);
}

MemoryLoadSource SystemMemoryLoad() {
    // A loop over thousands of small files asks before each one; reading the
    // report costs more than a small picture, and the load it gives does not
    // move much within a few milliseconds, so a fresh reading serves for 20.
    struct Reading {
        std::chrono::steady_clock::time_point at;
        std::optional<int> load;
        bool taken = false;
    };
    return [last = std::make_shared<Reading>()] {
        constexpr auto kFresh = std::chrono::milliseconds(20);
        const auto now = std::chrono::steady_clock::now();
        if (!last->taken || now - last->at >= kFresh) {
            last->load = ReadMemoryLoad();
            last->at = now;
            last->taken = true;
        }
        return last->load;
    };
}

}  // namespace kolvane
