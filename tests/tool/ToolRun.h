#pragma once

#include <functional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kolvane::test {

// What a run of the built kolvane-tool left: its exit code (-1 when it
// crashed or had to be stopped) and what it wrote.
struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

// Runs the built kolvane-tool with `args`, stopping it after `timeoutMs`.
// `inChild` runs in the child before the tool starts (limits, signals).
ToolRun RunTool(const QStringList& args, int timeoutMs = 60000,
                const std::function<void()>& inChild = {});

// Lets the child write files of at most `bytes` bytes: a write beyond fails
// as on a full disk (EFBIG), without the signal that would end the child.
std::function<void()> FileSizeLimit(long bytes);

}  // namespace kolvane::test
