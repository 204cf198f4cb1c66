#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QThread>

#include "app/KolvaneApp.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

QString LockedPid() {
    QFile file(CKolvaneApp::InstanceLockPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(file.readLine()).trimmed();
}

bool WaitForLockOf(qint64 pid, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        if (LockedPid() == QString::number(pid)) return true;
        QThread::msleep(20);
    }
    return false;
}

void StartProgram(QProcess& process) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(env);
    process.start(test::BinaryDir() + QStringLiteral("/kolvane"), {});
    ASSERT_TRUE(process.waitForStarted(10000));
}

void Stop(QProcess& process) {
    process.kill();
    process.waitForFinished(10000);
}

TEST(SingleInstance, SecondStartEndsSilently) {
    QProcess first;
    StartProgram(first);
    ASSERT_TRUE(WaitForLockOf(first.processId(), 30000));

    QProcess second;
    StartProgram(second);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput(), QByteArray());
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(LockedPid(), QString::number(first.processId()));
    Stop(first);
}

TEST(SingleInstance, LockOfADeadProcessIsTakenOver) {
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"), {});
    ASSERT_TRUE(gone.waitForFinished(10000));
    const qint64 deadPid = gone.processId() > 0 ? gone.processId() : 999999;
    {
        QFile lock(CKolvaneApp::InstanceLockPath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\nkolvane\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
    }
    QProcess program;
    StartProgram(program);
    EXPECT_TRUE(WaitForLockOf(program.processId(), 30000));
    EXPECT_EQ(program.state(), QProcess::Running);
    Stop(program);
}

}  // namespace
}  // namespace kolvane
