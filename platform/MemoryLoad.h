#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>

namespace kolvane {

// The share of physical memory in use, in percent (0..100), as the system
// reports it: 100 - MemAvailable / MemTotal. None when the report cannot be
// read or lacks the two lines.
std::optional<int> ParseMemoryLoad(const QByteArray& meminfo);
std::optional<int> ReadMemoryLoad(const QString& meminfoPath = QStringLiteral("/proc/meminfo"));

// Where long loops ask for the memory load; tests put their own figure in.
using MemoryLoadSource = std::function<std::optional<int>()>;
// The system's load, read again when the last reading is 20 ms old.
MemoryLoadSource SystemMemoryLoad();

}  // namespace kolvane
