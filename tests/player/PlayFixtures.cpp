#include "tests/player/PlayFixtures.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "model/MediaInfo.h"
#include "sound/AudioRing.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane::test {

void CRecordingView::PresentFrame() {
    QImage shot(display_.TargetSize(), QImage::Format_RGB32);
    shot.fill(Qt::red);
    {
        QPainter painter(&shot);
        display_.Present(painter, shot.rect());
    }
    const QPoint centre = display_.GetPictureRect().center();
    presented.push_back({sheet_.CurrentFrame(), shot.pixel(centre)});
}

std::vector<int> CRecordingView::TakeFrames() {
    std::vector<int> frames;
    for (const Presented& p : presented) {
        const int frame = FrameOfColour(p.centre);
        frames.push_back(frame >= 0                  ? frame
                         : p.centre == kWhitePicture ? -1
                         : p.centre == kBlackPicture ? -2
                                                     : -3);
    }
    presented.clear();
    return frames;
}

void CRecordingSink::SendCommand(int id) {
    sent.push_back(id);
    if (id == cmd::kViewPlayer && view != nullptr && !view->shown) {
        view->shown = true;
        engine->ViewShown(true);
    }
    if (id == cmd::kSheetChanged && sheet != nullptr) sheet->Normalise();
}

QRgb FrameColour(int k) {
    return qRgb(10 + k, 200, 100);
}

int FrameOfColour(QRgb colour) {
    if (qGreen(colour) != 200 || qBlue(colour) != 100 || qRed(colour) < 10) return -1;
    return qRed(colour) - 10;
}

CPlayRig::CPlayRig() {
    dir = MakeTempDir(QStringLiteral("play"));
    settings.Set(FrameRate, 25);
    settings.Set(LoopMode, 0);
    settings.Set(PlayOnce, 25);
    media.SetAudioRingFactory(&sound);
    sheet.SetAudioRingFactory(&sound);
    storage.Connect({&settings, &media, &sound, {}});
    display.CreateDevice(QSize(64, 48));
    sink.view = &view;
    sink.sheet = &sheet;
    CPlayEngine::Links links;
    links.sheet = &sheet;
    links.media = &media;
    links.settings = &settings;
    links.display = &display;
    links.sound = &sound;
    links.storage = &storage;
    links.sink = &sink;
    links.view = &view;
    links.ticks = &ticks;
    links.clock = &clock;
    engine = std::make_unique<CPlayEngine>(links);
    sink.engine = engine.get();
}

CPlayRig::~CPlayRig() {
    engine.reset();
    storage.Connect({});
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

CNode* CPlayRig::AddImageColumn(const QString& name, int frames) {
    CNode* column = sheet.GetColumn(sheet.Levels().size(), name);
    for (int k = 0; k < frames; ++k) {
        const QString path =
            dir + QStringLiteral("/%1 %2.png").arg(name).arg(k + 1, 4, 10, QChar(u'0'));
        CNode* item = media.AddMediaFile(kTypeImage, path);
        QImage texture(16, 12, QImage::Format_RGB32);
        texture.fill(FrameColour(k));
        item->texture = texture;
        item->imageInfo->imageWidth = 64;
        item->imageInfo->imageHeight = 48;
        column->children->append(CNode::NewCell(item));
    }
    return column;
}

CNode* CPlayRig::AddSoundColumn(const QString& name, int frames) {
    const QString path = dir + QStringLiteral("/%1.wav").arg(name);
    WritePcmClip(path, 48000, 2, 1920ll * frames, [](std::int64_t frame, int channel) {
        const auto number = static_cast<std::int16_t>(frame / 1920 + 1);
        return channel == 0 ? number : static_cast<std::int16_t>(-number);
    });
    CNode* item = media.AddMediaFile(kTypeSound, path);
    sheet.PlaceSound(item);
    return sheet.FindLevelByName(name);
}

void CPlayRig::Settle() {
    sheet.Normalise();
    media.RecomputeSummaries();
    sheet.RecomputeSummaries();
}

int CPlayRig::SoundRow(const CNode& column) {
    const CNode* cell = column.summary->currentSoundCell;
    return cell != nullptr ? column.children->indexOf(cell) : -1;
}

int CPlayRig::LastSoundValue(const CNode& column) const {
    std::vector<std::int16_t> frame(static_cast<std::size_t>(sound.BytesPerFrame() / 2));
    if (!sound.ReadLastFrame(*column.summary, frame.data())) return -1;
    return frame[0];
}

bool CPlayRig::RingPlaying(const CNode& column) {
    const auto* ring = dynamic_cast<const CAudioRing*>(column.summary->ring.get());
    return ring != nullptr && ring->IsPlaying();
}

}  // namespace kolvane::test
