#include "tool/SoundCommands.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include <QFile>

#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/Node.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/Globber.h"
#include "storage/SafeFile.h"
#include "storage/Storage.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {
namespace {

struct SndFileClose {
    void operator()(SNDFILE* file) const {
        if (file != nullptr) sf_close(file);
    }
};

// The errno behind a libsndfile write that fell short: the system's own
// error when it left one, else "no space left" (a short write is a full disk).
Result WriteError() {
    return errno != 0 ? errno : ENOSPC;
}

// Plays every cell of the clip into a ring and copies each frame out, into a
// temporary beside `out` that replaces it only once every frame is written.
int WritePlayedClip(CStorage& storage, CDirectSound& output, CNode& item, const QString& out) {
    CAtomicFile file;
    if (const Result result = file.Open(out); result != kOk) {
        PrintError(result, out);
        return kExitError;
    }
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, SndFileClose> wav(sf_open_fd(file.Descriptor(), SFM_WRITE, &info, 0));
    if (!wav) {
        PrintError(EIO, out);
        return kExitError;
    }
    CListInfo track;
    track.ring = output.CreateTrackBuffer();
    std::vector<std::int16_t> frame(static_cast<std::size_t>(output.BytesPerFrame() / 2));
    const auto pairs = static_cast<sf_count_t>(frame.size() / 2);
    const int cells = static_cast<int>(item.soundInfo->lengthInFrames);
    for (int n = 1; n <= cells; ++n) {
        CNode cell(kTypeSoundCell, SoundCellName(item.name, n));
        cell.item = &item;
        track.currentSoundCell = &cell;
        const Result result = storage.WriteSoundFrame(track, false);
        track.currentSoundCell = nullptr;
        if (result != kOk) {
            PrintError(result, item.soundInfo->path);
            return kExitError;
        }
        output.ReadLastFrame(track, frame.data());
        errno = 0;
        if (sf_writef_short(wav.get(), frame.data(), pairs) != pairs) {
            PrintError(WriteError(), out);
            return kExitError;
        }
    }
    // Closing writes the header's final sizes: that can fail too.
    errno = 0;
    sf_write_sync(wav.get());
    const int closed = sf_close(wav.release());
    if (closed != SF_ERR_NO_ERROR) {
        PrintError(WriteError(), out);
        return kExitError;
    }
    if (const Result result = file.Commit(); result != kOk) {
        PrintError(result, out);
        return kExitError;
    }
    std::printf("wrote %d frames to %s\n", cells, out.toUtf8().constData());
    return kExitOk;
}

class CPrintingGlobber final : public CGlobber {
  protected:
    void OnMatch(const QString& path) override { std::printf("%s\n", path.toUtf8().constData()); }
};

}  // namespace

int RunSound(const QStringList& args) {
    if (args.isEmpty() || args.size() > 3)
        return UsageError(QStringLiteral("sound FILE [FPS [OUT.wav]]"));
    bool ok = true;
    const int rate = args.size() > 1 ? args[1].toInt(&ok) : 25;
    if (!ok || rate <= 0 || 48000 % rate != 0)
        return UsageError(QStringLiteral("the frame rate must divide 48000"));

    CEngine engine{CEngine::Headless{}};
    engine.settings.Set(FrameRate, rate);
    if (!engine.IsUsable()) {
        PrintError(EACCES);
        return kExitError;
    }
    CStorage& storage = engine.storage;
    CNode item(kTypeSoundItem, ItemNameFromPath(args[0]));
    item.soundInfo = std::make_unique<CSoundInfo>(args[0]);
    const Result opened = storage.OpenSound(item);
    if (opened != kOk) {
        PrintError(opened, args[0]);
        return kExitError;
    }
    const CSoundInfo& clip = *item.soundInfo;
    std::printf("channels %d\nrate %d Hz\nlength %lld sample frames\n", clip.channels,
                clip.sampleRate, static_cast<long long>(clip.length));
    std::printf("at %d fps: %.3f frames, %.2f values per frame\n", rate, clip.lengthInFrames,
                clip.samplesPerFrame);
    return args.size() > 2 ? WritePlayedClip(storage, engine.sound, item, args[2]) : kExitOk;
}

int RunGlob(const QStringList& args) {
    if (args.isEmpty()) return UsageError(QStringLiteral("glob PATTERN..."));
    CPrintingGlobber globber;
    for (const QString& pattern : args)
        globber.Glob(pattern);
    return kExitOk;
}

}  // namespace kolvane::tool
