#include "filters/quorrel/JpegCodec.h"

#include <turbojpeg.h>

namespace kolvane::quorrel {
namespace {

struct TjDestroy {
    void operator()(void* handle) const {
        if (handle != nullptr) tjDestroy(handle);
    }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

struct TjFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

struct CJpegCodec::Handles {
    TjHandle decompressor{tjInitDecompress()};
    TjHandle compressor;  // made on first use: most codecs only decode
};

CJpegCodec::CJpegCodec() : m_handles(std::make_unique<Handles>()) {}

CJpegCodec::~CJpegCodec() = default;

bool CJpegCodec::ReadSize(const std::uint8_t* jpeg, std::size_t length, int* width, int* height) {
    if (m_handles->decompressor == nullptr || jpeg == nullptr || length == 0) return false;
    int w = 0;
    int h = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(m_handles->decompressor.get(), jpeg, static_cast<unsigned long>(length),
                            &w, &h, &subsampling, &colorspace) != 0) {
        return false;
    }
    if (w <= 0 || h <= 0 || w > kMaxJpegSide || h > kMaxJpegSide) return false;
    *width = w;
    *height = h;
    return true;
}

bool CJpegCodec::DecodeBgr(const std::uint8_t* jpeg, std::size_t length, std::uint8_t* bgr,
                           int width, int height, int stride) {
    int w = 0;
    int h = 0;
    if (!ReadSize(jpeg, length, &w, &h) || w != width || h != height || stride < width * 3) {
        return false;
    }
    // A damaged tail still gives a picture; only a failed start is refused.
    const int result =
        tjDecompress2(m_handles->decompressor.get(), jpeg, static_cast<unsigned long>(length), bgr,
                      width, stride, height, TJPF_BGR, TJFLAG_FASTDCT);
    return result == 0 || tjGetErrorCode(m_handles->decompressor.get()) == TJERR_WARNING;
}

std::vector<std::uint8_t> CJpegCodec::EncodeBgr(const std::uint8_t* bgr, int width, int height,
                                                int stride, int quality) {
    if (m_handles->compressor == nullptr) m_handles->compressor.reset(tjInitCompress());
    if (m_handles->compressor == nullptr || width <= 0 || height <= 0) return {};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int result = tjCompress2(m_handles->compressor.get(), bgr, width, stride, height,
                                   TJPF_BGR, &out, &outSize, TJSAMP_420, quality, TJFLAG_FASTDCT);
    std::unique_ptr<unsigned char, TjFree> owned(out);
    if (result != 0 || out == nullptr) return {};
    return std::vector<std::uint8_t>(out, out + outSize);
}

}  // namespace kolvane::quorrel
