// Shows one dialog alone, with settings kept in a temporary folder:
//   dialog_preview options [PAGE] [OUT.png]     PAGE: grabber, editor or player
//   dialog_preview message KIND NUMBER [OUT.png]
//   dialog_preview naming [grab|rename] [OUT.png]
//   dialog_preview range [OUT.png]
//   dialog_preview scene [open|timing|save] [OUT.png]
//   dialog_preview movie [OUT.png]
// With OUT.png the dialog is drawn into that file and the program ends;
// without, it stays until closed (for a screen grab of the whole desktop).

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/OptionsDialog.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "ui/AnimDialog.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/MovieDialog.h"
#include "ui/RangeDialog.h"
#include "ui/SceneDialog.h"

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

// The scene dialog over a few scene folders, with the last scene of a run
// before this one.
int PreviewScene(const QString& home, const QStringList& args) {
    const QString documents = home + QStringLiteral("/Documents");
    for (const char* scene :
         {"/My Scenes/robot/intro/shot 1/v1", "/My Scenes/robot/intro/shot 2/v1",
          "/My Scenes/garden/night/shot 1/v3"}) {
        QDir().mkpath(documents + QString::fromUtf8(scene));
        QFile(documents + QString::fromUtf8(scene) + QStringLiteral("/walk 0001.png"))
            .open(QIODevice::WriteOnly);
    }
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brevanta"),
                    QStringLiteral("Kolvane"));
    const char* levels[] = {"", "robot", "intro", "shot 1", "v1"};
    store.setValue(QStringLiteral("LastScene/Level1"), documents + QStringLiteral("/My Scenes"));
    for (int level = 2; level <= 5; ++level)
        store.setValue(QStringLiteral("LastScene/Level%1").arg(level),
                       QString::fromUtf8(levels[level - 1]));
    store.sync();

    const QString kind = args.value(1, QStringLiteral("open"));
    const int kindId = kind == QLatin1String("save")     ? kolvane::CSceneChooser::kSaveScene
                       : kind == QLatin1String("timing") ? kolvane::CSceneChooser::kOpenSceneTiming
                                                         : kolvane::CSceneChooser::kOpenScene;
    kolvane::CSettings settings(kolvane::CSettings::Unstored{});
    kolvane::CTitleBar title(settings);
    title.SetSceneName(documents + QStringLiteral("/My Scenes/robot/intro/shot 1/v1"));
    kolvane::CSceneDialog::Procedures procedures;
    procedures.openScene = [](const QString& folder, const QStringList& extensions) {
        std::printf("open %s %s\n", qPrintable(folder), qPrintable(extensions.join(u' ')));
        return kolvane::kOk;
    };
    procedures.saveScene = [](const QString& folder, const QString& extension) {
        std::printf("save %s '%s'\n", qPrintable(folder), qPrintable(extension));
        return kolvane::kOk;
    };
    procedures.openSceneTiming = [](const QString& folder) {
        std::printf("timing %s\n", qPrintable(folder));
        return kolvane::kOk;
    };
    kolvane::CSceneDialog dialog(nullptr, settings, title, std::move(procedures), documents);
    SaveWhenShown(dialog, args.value(2));
    std::printf("result %d\n", dialog.Run(kindId));
    return 0;
}

// The movie dialog of a first run, a name typed.
int PreviewMovie(const QString& home, const QStringList& args) {
    kolvane::CEngine scene{kolvane::CEngine::Headless{}};
    const QString documents = home + QStringLiteral("/Documents");
    QDir().mkpath(documents + QStringLiteral("/My Movies/old takes"));
    kolvane::CMovieDialog dialog(nullptr, scene.settings, scene.sheet, scene.Writer(), documents);
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.Row(kolvane::CMovieDialog::kName)->SetText(QStringLiteral("robot intro"));
        dialog.SendDialogCommand(kolvane::CMovieDialog::kFirstCommand +
                                 kolvane::CMovieDialog::kName);
    });
    SaveWhenShown(dialog, args.value(1));
    std::printf("result %d\n", dialog.Run());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: dialog_preview options [grabber|editor|player] [OUT.png]\n"
                 "       dialog_preview message KIND NUMBER [OUT.png]\n"
                 "       dialog_preview naming [grab|rename] [OUT.png]\n"
                 "       dialog_preview range [OUT.png]\n"
                 "       dialog_preview scene [open|timing|save] [OUT.png]\n"
                 "       dialog_preview movie [OUT.png]\n");
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
        kolvane::CTitleBar title(settings);
        CPrintingHistory history;
        CPrintingSink sink;
        AddScene(media, sheet);
        if (args[0] == QLatin1String("range")) {
            kolvane::CRangeDialog dialog(nullptr, sheet, title, history, sink);
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
    if (args[0] == QLatin1String("scene")) return PreviewScene(home.path(), args);
    if (args[0] == QLatin1String("movie")) return PreviewMovie(home.path(), args);
    return Usage();
}
