// Shows the main window with a small scene (three image columns and a sound
// column) in a temporary home, for looking at the media, editor and player
// areas (the player paused on frame 5 with 1.85:1 bars and the counter):
//   panels_preview [editor|media|player] [OUT.png] [LETTERBOX]
// (LETTERBOX: the player's letterbox setting, 185 unless given.)
// With OUT.png the window is drawn into that file and the program ends;
// without, it stays until closed (for a screen grab of the whole desktop).

#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "model/NodeList.h"
#include "platform/Commands.h"
#include "platform/MediaFramework.h"
#include "settings/Settings.h"
#include "ui/PlayMainPanel.h"

namespace {

void WriteImage(const QString& path, QColor color, const QString& label) {
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(color);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.setBrush(color.darker(160));
    painter.drawEllipse(QPoint(160, 120), 70, 70);
    QFont font = painter.font();
    font.setPixelSize(48);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, label);
    painter.end();
    image.save(path);
}

// Two seconds of a rising and falling tone, 16-bit mono PCM.
void WriteSound(const QString& path) {
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate * 2;
    QByteArray data;
    data.reserve(kSamples * 2);
    for (int i = 0; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double envelope = std::fabs(std::sin(t * 3.0)) * (0.3 + 0.7 * (i % 7000) / 7000.0);
        const auto value = static_cast<qint16>(30000 * envelope * std::sin(t * 2 * M_PI * 220));
        data.append(static_cast<char>(value & 0xff));
        data.append(static_cast<char>((value >> 8) & 0xff));
    }
    auto le32 = [](quint32 v) {
        return QByteArray(1, char(v & 0xff)) + char((v >> 8) & 0xff) + char((v >> 16) & 0xff) +
               char((v >> 24) & 0xff);
    };
    auto le16 = [](quint16 v) { return QByteArray(1, char(v & 0xff)) + char((v >> 8) & 0xff); };
    QByteArray wav = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                     le32(kRate) + le32(kRate * 2) + le16(2) + le16(16) + "data" +
                     le32(data.size()) + data;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(wav);
}

void BuildScene(kolvane::CEngine& objects, const QString& folder) {
    struct Sequence {
        const char* name;
        int count;
        QColor color;
        int timing;
    };
    const Sequence sequences[] = {{"walk", 6, QColor(70, 110, 160), 2},
                                  {"run", 4, QColor(160, 90, 60), 3},
                                  {"sky", 2, QColor(80, 140, 90), 6}};
    for (const Sequence& sequence : sequences) {
        for (int k = 1; k <= sequence.count; ++k) {
            const QString name = QStringLiteral("%1 %2")
                                     .arg(QString::fromLatin1(sequence.name))
                                     .arg(k, 4, 10, QChar(u'0'));
            const QString path = folder + u'/' + name + QStringLiteral(".png");
            WriteImage(path, sequence.color.lighter(100 + 12 * k), QString::number(k));
            kolvane::CNode* item = objects.media.AddMediaFile(kolvane::kTypeImage, path);
            for (int i = 0; i < sequence.timing; ++i)
                objects.sheet.PlaceItem(item);
        }
    }
    const QString sound = folder + QStringLiteral("/hum.wav");
    WriteSound(sound);
    if (kolvane::CNode* item = objects.media.AddMediaFile(kolvane::kTypeSound, sound)) {
        objects.sheet.PlaceSound(item);
    }
    objects.media.RecomputeSummaries();
    objects.sheet.Normalise();
    objects.display.LoadPendingImages(true);
    // A few cells selected, to show how a selection looks.
    for (int row = 4; row < 8; ++row)
        objects.sheet.Levels().at(0)->children->at(row)->Select();
    objects.sheet.RecomputeSummaries();
    objects.media.ImageLevel()->children->at(2)->Select();
    objects.media.RecomputeSummaries();
    objects.sheet.SetCurrentFrame(5);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
    qputenv("KOLVANE_AUDIO_SINK", "fakesink");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kolvane"));
    QApplication::setOrganizationName(QStringLiteral("Brevanta"));
    kolvane::InitMediaFramework();
    const QStringList args = QApplication::arguments().mid(1);
    const bool media = args.value(0) == QLatin1String("media");
    const bool player = args.value(0) == QLatin1String("player");
    const QString out = args.value(1);

    const QScreen* screen = QGuiApplication::primaryScreen();
    kolvane::CEngine objects(
        kolvane::CEngine::Program{screen->size().width() * 100 / screen->size().height()});
    kolvane::CMainFrame frame(objects);
    frame.setGeometry(screen->availableGeometry());
    frame.show();
    QTimer::singleShot(200, &frame, [&] {
        BuildScene(objects, home.path());
        for (int id : {kolvane::cmd::kMediaChanged, kolvane::cmd::kSheetChanged,
                       kolvane::cmd::kViewEditor, kolvane::cmd::kEditorGoToCurrent}) {
            frame.SendCommand(id);
        }
        if (media) {
            // A squarer main area leaves the media list room for both levels.
            frame.SetScreenAspect(5, 4);
            frame.SendCommand(kolvane::cmd::kViewMedia);
        }
        if (player) {
            // The selection would limit what plays: the player shows the
            // whole scene, letterboxed, with the counter.
            for (kolvane::CNode* column : objects.sheet.Levels()) {
                for (kolvane::CNode* cell : *column->children)
                    cell->Unselect();
            }
            objects.sheet.RecomputeSummaries();
            objects.settings.Set(kolvane::PlayLetterbox,
                                 args.value(2, QStringLiteral("185")).toInt());
            objects.settings.Set(kolvane::Overlay, 1);
            frame.SendCommand(kolvane::cmd::kViewPlayer);
            frame.SendCommand(kolvane::cmd::kPlayerDisplaySettings);
            frame.PlayerView().Engine().GoToFrame(5);
        }
        frame.UpdateToolPanelStates();
    });
    if (!out.isEmpty()) {
        QTimer::singleShot(900, &frame, [&frame, out] {
            const bool saved = frame.grab().save(out);
            std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
