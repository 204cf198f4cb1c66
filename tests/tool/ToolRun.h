#pragma once

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
ToolRun RunTool(const QStringList& args, int timeoutMs = 60000);

}  // namespace kolvane::test
