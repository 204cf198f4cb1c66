#include "sound/ClipDecoder.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QFile>

namespace kolvane {
namespace {

struct SndFileClose {
    void operator()(SNDFILE* file) const {
        if (file != nullptr) sf_close(file);
    }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileClose>;

struct Mpg123Delete {
    void operator()(mpg123_handle* handle) const {
        if (handle == nullptr) return;
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Delete>;

// Values of one decoding piece of float clips.
constexpr std::int64_t kFloatChunkFrames = 4096;

// What a clip may claim in its header. Buffers are sized from these before a
// sample is read, so a hostile header must be refused here, not met by an
// allocation: 256 channels at 2^31 Hz would ask for terabytes.
constexpr int kMaxChannels = 32;
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;
// A day of sound at the highest rate: longer claims are no clip of a scene.
constexpr std::int64_t kMaxLengthSeconds = 24 * 60 * 60;

bool IsSaneFormat(const ClipFormat& format) {
    return format.channels >= 1 && format.channels <= kMaxChannels &&
           format.sampleRate >= kMinSampleRate && format.sampleRate <= kMaxSampleRate &&
           format.length >= 0 &&
           format.length <= kMaxLengthSeconds * static_cast<std::int64_t>(format.sampleRate);
}

class CSndFileDecoder final : public CClipDecoder {
  public:
    CSndFileDecoder(SndFilePtr file, ClipFormat format, bool isFloat)
        : CClipDecoder(format), file_(std::move(file)) {
        if (isFloat) floats_.resize(static_cast<std::size_t>(kFloatChunkFrames * format.channels));
    }

  protected:
    bool SeekTo(std::int64_t frame) override {
        return sf_seek(file_.get(), frame, SEEK_SET) == frame;
    }

    std::int64_t Decode(std::int16_t* out, std::int64_t frames) override {
        const std::int64_t got =
            floats_.empty() ? sf_readf_short(file_.get(), out, frames) : DecodeFloats(out, frames);
        if (got < frames && sf_error(file_.get()) != SF_ERR_NO_ERROR) return -1;
        return got;
    }

  private:
    // Float data is scaled by a fixed 32767 (1.0 is full scale), so a clip
    // plays as loud as its 16-bit twin; libsndfile's own scaling for short
    // reads would stretch every clip to its peak.
    std::int64_t DecodeFloats(std::int16_t* out, std::int64_t frames) {
        const int channels = Format().channels;
        std::int64_t done = 0;
        while (done < frames) {
            const std::int64_t want = std::min(kFloatChunkFrames, frames - done);
            const std::int64_t got = sf_readf_float(file_.get(), floats_.data(), want);
            if (got <= 0) break;
            const std::int64_t values = got * channels;
            std::int16_t* to = out + done * channels;
            for (std::int64_t i = 0; i < values; ++i) {
                const float v = std::clamp(floats_[static_cast<std::size_t>(i)], -1.0f, 1.0f);
                to[i] = static_cast<std::int16_t>(std::lrintf(v * 32767.0f));
            }
            done += got;
            if (got < want) break;
        }
        return done;
    }

    SndFilePtr file_;
    std::vector<float> floats_;
};

class CMpg123Decoder final : public CClipDecoder {
  public:
    CMpg123Decoder(Mpg123Ptr handle, ClipFormat format)
        : CClipDecoder(format), handle_(std::move(handle)) {}

  protected:
    bool SeekTo(std::int64_t frame) override {
        return mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET) == frame;
    }

    std::int64_t Decode(std::int16_t* out, std::int64_t frames) override {
        const std::size_t frameBytes = sizeof(std::int16_t) * Format().channels;
        const std::size_t want = static_cast<std::size_t>(frames) * frameBytes;
        auto* bytes = reinterpret_cast<unsigned char*>(out);
        std::size_t total = 0;
        while (total < want) {
            std::size_t done = 0;
            const int status = mpg123_read(handle_.get(), bytes + total, want - total, &done);
            total += done;
            if (status == MPG123_DONE) break;
            if (status == MPG123_NEW_FORMAT) {
                if (!SameFormat()) return -1;
                continue;
            }
            if (status != MPG123_OK) {
                if (total == 0) return -1;
                break;
            }
            if (done == 0) break;
        }
        return static_cast<std::int64_t>(total / frameBytes);
    }

  private:
    bool SameFormat() {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        return mpg123_getformat(handle_.get(), &rate, &channels, &encoding) == MPG123_OK &&
               rate == Format().sampleRate && channels == Format().channels &&
               encoding == MPG123_ENC_SIGNED_16;
    }

    Mpg123Ptr handle_;
};

Result OpenMpeg(const QByteArray& path, std::unique_ptr<CClipDecoder>& decoder) {
    int error = MPG123_OK;
    Mpg123Ptr handle(mpg123_new(nullptr, &error));
    if (!handle) return msg::kCannotReadSound;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // 16-bit output at the clip's own rate and channel count.
    mpg123_format_none(handle.get());
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (mpg123_open(handle.get(), path.constData()) != MPG123_OK) return msg::kCannotReadSound;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK)
        return msg::kCannotReadSound;
    if (mpg123_scan(handle.get()) != MPG123_OK) return msg::kCannotReadSound;
    const off_t length = mpg123_length(handle.get());
    if (length < 0 || rate <= 0 || rate > kMaxSampleRate) return msg::kCannotReadSound;

    ClipFormat format;
    format.channels = channels;
    format.sampleRate = static_cast<int>(rate);
    format.length = length;
    if (!IsSaneFormat(format)) return msg::kCannotReadSound;
    decoder = std::make_unique<CMpg123Decoder>(std::move(handle), format);
    return kOk;
}

Result OpenSndFile(const QByteArray& path, std::unique_ptr<CClipDecoder>& decoder) {
    SF_INFO info{};
    SndFilePtr file(sf_open(path.constData(), SFM_READ, &info));
    if (!file) return msg::kCannotReadSound;
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const bool isFloat = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;

    ClipFormat format;
    format.channels = info.channels;
    format.sampleRate = info.samplerate;
    format.length = info.frames;
    if (!IsSaneFormat(format)) return msg::kCannotReadSound;
    decoder = std::make_unique<CSndFileDecoder>(std::move(file), format, isFloat);
    return kOk;
}

}  // namespace

Result CClipDecoder::Open(const QString& path, std::unique_ptr<CClipDecoder>& decoder) {
    decoder.reset();
    const QString extension = path.mid(path.lastIndexOf(u'.'));
    const QByteArray nativePath = QFile::encodeName(path);
    if (path.lastIndexOf(u'.') >= 0 &&
        extension.compare(QStringLiteral(".mp3"), Qt::CaseInsensitive) == 0) {
        return OpenMpeg(nativePath, decoder);
    }
    return OpenSndFile(nativePath, decoder);
}

std::int64_t CClipDecoder::DecodeAt(std::int64_t start, std::int16_t* out, std::int64_t frames) {
    if (frames <= 0 || start < 0 || start >= format_.length) return 0;
    if (position_ != start) {
        if (!SeekTo(start)) {
            position_ = -1;
            return -1;
        }
        position_ = start;
    }
    const std::int64_t got = Decode(out, frames);
    if (got < 0) {
        position_ = -1;
        return -1;
    }
    position_ += got;
    return got;
}

std::int64_t CClipDecoder::ReadWindow(std::int64_t start, std::int16_t* out, std::int64_t frames) {
    const int channels = format_.channels;
    const std::int64_t windowEnd = windowStart_ + windowFrames_;
    std::int64_t kept = 0;
    if (windowFrames_ > 0 && position_ == windowEnd && start >= windowStart_ && start < windowEnd) {
        kept = std::min(windowEnd - start, frames);
        std::memmove(out, out + (start - windowStart_) * channels,
                     static_cast<std::size_t>(kept * channels) * sizeof(std::int16_t));
    }
    const std::int64_t got =
        kept < frames ? DecodeAt(start + kept, out + kept * channels, frames - kept) : 0;
    if (got < 0) {
        std::fill(out, out + frames * channels, std::int16_t{0});
        windowFrames_ = 0;
        return -1;
    }
    const std::int64_t total = kept + got;
    std::fill(out + total * channels, out + frames * channels, std::int16_t{0});
    windowStart_ = start;
    windowFrames_ = total;
    return total;
}

CMpg123Library::CMpg123Library() {
    mpg123_init();
}

CMpg123Library::~CMpg123Library() {
    mpg123_exit();
}

}  // namespace kolvane
