#include "app/KolvaneApp.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>

#include "app/MainFrame.h"
#include "app/SplashWindow.h"
#include "engine/Engine.h"
#include "platform/MediaFramework.h"
#include "platform/ResultCodes.h"

namespace kolvane {
namespace {
constexpr int kSplashMilliseconds = 2500;
}

CKolvaneApp::CKolvaneApp(CEngine& objects) : objects_(objects) {}

CKolvaneApp::~CKolvaneApp() = default;

QString CKolvaneApp::InstanceLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder + QStringLiteral("/kolvane-app.lock");
}

bool CKolvaneApp::AcquireInstanceLock(QLockFile& lock) {
    // No age limit: a lock is stale only when its process is gone.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) return true;
    if (lock.error() == QLockFile::LockFailedError) {
        if (lock.removeStaleLockFile()) return lock.tryLock(0);
    }
    return false;
}

int CKolvaneApp::CheckSystem() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return msg::kDisplayTooSmall;
    const QSize size = screen->size();
    if (size.width() < 800 || size.height() < 600) return msg::kDisplayTooSmall;
    if (screen->depth() <= 8) return msg::kDisplayTooFewColors;
    if (!InitMediaFramework() || !MissingCoreElements().isEmpty()) {
        return msg::kMediaFrameworkMissing;
    }
    return 0;
}

int CKolvaneApp::Run() {
    frame_ = std::make_unique<CMainFrame>(objects_);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Built off-screen, so that nothing flickers while the panels are made;
    // the splash brings it to the work area.
    frame_->setGeometry(work.translated(0, work.height()));
    auto* splash = new CSplashWnd(frame_.get(), kSplashMilliseconds);
    QObject::connect(splash, &CSplashWnd::Finished, frame_.get(), [this, work] {
        frame_->setGeometry(work);
        frame_->raise();
        frame_->activateWindow();
    });
    frame_->show();
    splash->show();
    const int status = QApplication::exec();
    frame_.reset();
    return status;
}

}  // namespace kolvane
