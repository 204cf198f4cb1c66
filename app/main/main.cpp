#include <QApplication>
#include <QLockFile>
#include <QMessageBox>
#include <QScreen>

#include "app/KolvaneApp.h"
#include "app/ProgramIcon.h"
#include "engine/Engine.h"
#include "platform/StringTable.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kolvane"));
    QApplication::setOrganizationName(QStringLiteral("Brevanta"));
    // What a desktop shows for the windows: the menu entry's name and icon.
    QGuiApplication::setDesktopFileName(QLatin1String(kolvane::kDesktopEntryId));
    QApplication::setWindowIcon(kolvane::ProgramIcon(QCoreApplication::applicationDirPath()));

    QLockFile instanceLock(kolvane::CKolvaneApp::InstanceLockPath());
    if (!kolvane::CKolvaneApp::AcquireInstanceLock(instanceLock)) return 0;

    if (const int problem = kolvane::CKolvaneApp::CheckSystem(); problem != 0) {
        QMessageBox::critical(nullptr, QStringLiteral("Kolvane"), kolvane::StringText(problem));
        return 1;
    }

    const QScreen* screen = QGuiApplication::primaryScreen();
    const int nativeAspect = screen->size().width() * 100 / screen->size().height();
    kolvane::CEngine engine(kolvane::CEngine::Program{nativeAspect});
    kolvane::CKolvaneApp app(engine);
    return app.Run();
}
