// Shows one dialog alone, with settings kept in a temporary folder:
//   dialog_preview options [PAGE] [OUT.png]     PAGE: grabber, editor or player
//   dialog_preview message KIND NUMBER [OUT.png]
// With OUT.png the dialog is drawn into that file and the program ends;
// without, it stays until closed (for a screen grab of the whole desktop).

#include <cstdio>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "app/OptionsDialog.h"
#include "app/core/Settings.h"
#include "ui/MessageDialog.h"

namespace {

class CPrintingSink : public kolvane::ICommandSink {
  public:
    void SendCommand(int id) override { std::printf("command %d\n", id); }
    void PostCommand(int id) override { SendCommand(id); }
};

void SaveWhenShown(QWidget& dialog, const QString& path) {
    if (path.isEmpty()) return;
    QTimer::singleShot(300, &dialog, [&dialog, path] {
        const bool saved = dialog.grab().save(path);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
        QApplication::exit(saved ? 0 : 1);
    });
}

int Usage() {
    std::fprintf(stderr,
                 "usage: dialog_preview options [grabber|editor|player] [OUT.png]\n"
                 "       dialog_preview message KIND NUMBER [OUT.png]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty()) return Usage();

    if (args[0] == QLatin1String("options")) {
        const QString page = args.value(1, QStringLiteral("grabber"));
        const int pageId = page == QLatin1String("editor") ? kolvane::COptionsDialog::kEditorPage
                           : page == QLatin1String("player")
                               ? kolvane::COptionsDialog::kPlayerPage
                               : kolvane::COptionsDialog::kGrabberPage;
        kolvane::CSettings settings;
        CPrintingSink sink;
        kolvane::COptionsDialog dialog(settings, sink, nullptr);
        dialog.Open(pageId);
        SaveWhenShown(dialog, args.value(2));
        QTimer closed;
        QObject::connect(&closed, &QTimer::timeout, [&dialog] {
            if (!dialog.IsOpen()) QApplication::quit();
        });
        closed.start(200);
        return QApplication::exec();
    }
    if (args[0] == QLatin1String("message") && args.size() >= 3) {
        kolvane::CMessageDialog box(nullptr);
        SaveWhenShown(box, args.value(3));
        const int result = box.Show(args[1].toInt(), args[2].toInt());
        std::printf("result %d\n", result);
        return 0;
    }
    return Usage();
}
