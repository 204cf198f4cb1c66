#pragma once

#include <cstdint>
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

// The memory load together with the bytes still available (MemAvailable:
// what can be taken without swapping, page cache included).
struct MemoryStatus {
    int load = 0;
    std::uint64_t availableBytes = 0;
};
std::optional<MemoryStatus> ParseMemoryStatus(const QByteArray& meminfo);
std::optional<MemoryStatus> ReadMemoryStatus(
    const QString& meminfoPath = QStringLiteral("/proc/meminfo"));
using MemoryStatusSource = std::function<std::optional<MemoryStatus>()>;
MemoryStatusSource SystemMemoryStatus();

// Where long loops ask for the memory load; tests put their own figure in.
using MemoryLoadSource = std::function<std::optional<int>()>;
// The system's load, read again when the last reading is 20 ms old.
MemoryLoadSource SystemMemoryLoad();

}  // namespace kolvane
