#pragma once

#include <QStringList>

namespace kolvane::tool {

// kolvane-tool: the companion command line. Errors go to standard error as
// the system's message text with its number (exit 1); usage errors exit 2.
int Main(int argc, char** argv);

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

// One subcommand: gets its arguments after the subcommand's name.
struct Subcommand {
    const char* name;
    const char* usage;  // one or more lines for --help
    int (*run)(const QStringList& args);
};

// Prints "kolvane-tool: <message text> (<number>)" for a result code.
void PrintError(int result);
// The same with what failed: "kolvane-tool: <message text>: <subject> (<number>)".
void PrintError(int result, const QString& subject);
// Prints a usage error and returns kExitUsage.
int UsageError(const QString& message);

}  // namespace kolvane::tool
