#include "tests/tool/ToolRun.h"

#include <sys/resource.h>

#include <csignal>

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "tests/support/TestEnvironment.h"

namespace kolvane::test {

std::function<void()> FileSizeLimit(long bytes) {
    return [bytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
}

ToolRun RunTool(const QStringList& args, int timeoutMs, const std::function<void()>& inChild) {
    QProcess process;
    // GLib and GStreamer keep allocations for the life of the process; the
    // code the tool runs is leak-checked by the library tests.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(env);
    if (inChild) process.setChildProcessModifier(inChild);
    process.start(BinaryDir() + QStringLiteral("/kolvane-tool"), args);
    const bool finished = process.waitForFinished(timeoutMs);
    EXPECT_TRUE(finished) << args.join(' ').toStdString();
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace kolvane::test
