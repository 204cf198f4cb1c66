#include "filters/quorrel/JpegCodec.h"

#include <libyuv.h>
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

bool CJpegCodec::DecodeYuy2(const std::uint8_t* jpeg, std::size_t length, std::uint8_t* yuy2,
                            int width, int height, int stride) {
    int w = 0;
    int h = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (m_handles->decompressor == nullptr || jpeg == nullptr ||
        tjDecompressHeader3(m_handles->decompressor.get(), jpeg, static_cast<unsigned long>(length),
                            &w, &h, &subsampling, &colorspace) != 0 ||
        w != width || h != height || width % 2 != 0 || stride < width * 2) {
        return false;
    }
    auto decodedWell = [this](int result) {
        return result == 0 || tjGetErrorCode(m_handles->decompressor.get()) == TJERR_WARNING;
    };
    if (subsampling == TJSAMP_420 || subsampling == TJSAMP_422) {
        const int chromaWidth = tjPlaneWidth(1, width, subsampling);
        const int chromaHeight = tjPlaneHeight(1, height, subsampling);
        const std::size_t lumaBytes = static_cast<std::size_t>(width) * height;
        const std::size_t chromaBytes = static_cast<std::size_t>(chromaWidth) * chromaHeight;
        m_planes.resize(lumaBytes + 2 * chromaBytes);
        unsigned char* planes[3] = {m_planes.data(), m_planes.data() + lumaBytes,
                                    m_planes.data() + lumaBytes + chromaBytes};
        int strides[3] = {width, chromaWidth, chromaWidth};
        if (!decodedWell(tjDecompressToYUVPlanes(m_handles->decompressor.get(), jpeg,
                                                 static_cast<unsigned long>(length), planes, width,
                                                 strides, height, TJFLAG_FASTDCT))) {
            return false;
        }
        const auto pack = subsampling == TJSAMP_420 ? libyuv::I420ToYUY2 : libyuv::I422ToYUY2;
        return pack(planes[0], strides[0], planes[1], strides[1], planes[2], strides[2], yuy2,
                    stride, width, height) == 0;
    }
    // Other layouts (4:4:4, grey) through BGRX, which libyuv calls ARGB.
    m_planes.resize(static_cast<std::size_t>(width) * height * 4);
    if (!decodedWell(tjDecompress2(m_handles->decompressor.get(), jpeg,
                                   static_cast<unsigned long>(length), m_planes.data(), width,
                                   width * 4, height, TJPF_BGRX, TJFLAG_FASTDCT))) {
        return false;
    }
    return libyuv::ARGBToYUY2(m_planes.data(), width * 4, yuy2, stride, width, height) == 0;
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
