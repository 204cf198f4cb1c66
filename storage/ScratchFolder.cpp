#include "storage/ScratchFolder.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kolvane {
namespace {

constexpr int kRandomLetters = 6;
constexpr qint64 kUnnumberedStaleSeconds = 24 * 60 * 60;

QString Prefix() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("kolvane") : name;
}

QString Template() {
    return QDir::tempPath() + u'/' + Prefix() + u'-' + QString::number(::getpid()) +
           QStringLiteral("-XXXXXX");
}

bool IsRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

CScratchFolder::CScratchFolder() : folder_((RemoveStale(QDir::tempPath(), Prefix()), Template())) {}

void CScratchFolder::RemoveStale(const QString& parent, const QString& prefix) {
    const QDir dir(parent);
    const QStringList names = dir.entryList({prefix + QStringLiteral("-*")},
                                            QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 ||
            status.st_uid != ::getuid()) {
            continue;
        }
        const QStringList parts = name.mid(prefix.size() + 1).split(u'-');
        bool stale = false;
        if (parts.size() == 2 && parts[1].size() == kRandomLetters) {
            bool ok = false;
            const pid_t pid = parts[0].toInt(&ok);
            stale = ok && pid > 0 && pid != ::getpid() && !IsRunning(pid);
        } else if (parts.size() == 1 && parts[0].size() == kRandomLetters) {
            const QDateTime changed = QFileInfo(path).lastModified();
            stale = changed.secsTo(QDateTime::currentDateTime()) > kUnnumberedStaleSeconds;
        }
        if (stale) QDir(path).removeRecursively();
    }
}

}  // namespace kolvane
