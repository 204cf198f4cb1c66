// Shows one dialog alone, with settings kept in a temporary folder:
//   dialog_preview options [PAGE] [OUT.png]     PAGE: grabber, editor or player
//   dialog_preview message KIND NUMBER [OUT.png]
//   dialog_preview naming [grab|rename] [OUT.png]
//   dialog_preview range [OUT.png]
// With OUT.png the dialog is drawn into that file and the program ends;
// without, it stays until closed (for a screen grab of the whole desktop).

#include <cstdio>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "app/OptionsDialog.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "ui/AnimDialog.h"
#include "ui/MessageDialog.h"
#include "ui/RangeDialog.h"

namespace {

class CPrintingSink : public kolvane::ICommandSink {
  public:
    void SendCommand(int id) override { std::printf("command %d\n", id); }
    void PostCommand(int id) override { SendCommand(id); }
};

// Undo steps are only counted here.
class CPrintingHistory : public kolvane::ISheetHistory {
  public:
    kolvane::Result RecordEdit(const kolvane::CXshtList&) override {
        std::printf("undo step\n");
        return kolvane::kOk;
    }
    void Reset() override { std::printf("undo history reset\n"); }
};

// A media list of two sequences, and a sheet of one column of it.
void AddScene(kolvane::CMdiaList& media, kolvane::CXshtList& sheet) {
    for (const char* name : {"walk 0001", "walk 0002", "walk 0003", "run 0001"}) {
        kolvane::CNode* item =
            media.AddMediaFile(kolvane::kTypeImage, QStringLiteral("/scene/%1.png").arg(name));
        if (QString::fromUtf8(name).startsWith(u"walk")) {
            item->Select();
            sheet.PlaceImage(item);
        }
    }
    for (kolvane::CNode* cell : *sheet.Levels().at(0)->children)
        cell->Select();
    sheet.Normalise();
}

void QuitWhenClosed(kolvane::CBasicDialog& dialog, QTimer& timer) {
    QObject::connect(&timer, &QTimer::timeout, [&dialog] {
        if (!dialog.IsOpen()) QApplication::quit();
    });
    timer.start(200);
}

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
                 "       dialog_preview message KIND NUMBER [OUT.png]\n"
                 "       dialog_preview naming [grab|rename] [OUT.png]\n"
                 "       dialog_preview range [OUT.png]\n");
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
    if (args[0] == QLatin1String("naming") || args[0] == QLatin1String("range")) {
        kolvane::CSettings settings(kolvane::CSettings::Unstored{});
        kolvane::CMdiaList media;
        kolvane::CXshtList sheet(settings);
        kolvane::CSceneState scene;
        CPrintingHistory history;
        CPrintingSink sink;
        AddScene(media, sheet);
        if (args[0] == QLatin1String("range")) {
            kolvane::CRangeDialog dialog(nullptr, sheet, scene, history, sink);
            dialog.Open();
            SaveWhenShown(dialog, args.value(1));
            QTimer closed;
            QuitWhenClosed(dialog, closed);
            return QApplication::exec();
        }
        const bool rename = args.value(1) == QLatin1String("rename");
        kolvane::CAnim target(media);
        if (rename) {
            target.TakeSelection();
        } else {
            target.TakeLevel(QStringLiteral("walk 0001"));
        }
        kolvane::CAnimDialog dialog(nullptr, sheet, history, sink);
        SaveWhenShown(dialog, args.value(2));
        const int result = dialog.Run(
            rename ? kolvane::CAnimDialog::Mode::kRename : kolvane::CAnimDialog::Mode::kGrabLevel,
            target);
        std::printf("result %d: %s %d %d %d %d\n", result, qPrintable(target.Name()),
                    target.First(), target.Last(), target.Next(), target.Step());
        return 0;
    }
    return Usage();
}
