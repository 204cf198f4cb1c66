#pragma once

// JPEG through libjpeg-turbo: the live view arrives as JPEG and leaves as
// BGR rows, and the simulated camera and the no-camera frames need JPEGs of
// their own. One handle per direction, kept for the life of the codec.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kolvane::quorrel {

// Live-view and still sizes beyond this are not pictures a camera makes.
inline constexpr int kMaxJpegSide = 16384;

class CJpegCodec {
  public:
    CJpegCodec();
    ~CJpegCodec();
    CJpegCodec(const CJpegCodec&) = delete;
    CJpegCodec& operator=(const CJpegCodec&) = delete;

    // The picture size from the header; false for data that is no JPEG or
    // whose size lies outside 1..kMaxJpegSide.
    bool ReadSize(const std::uint8_t* jpeg, std::size_t length, int* width, int* height);
    // Decodes into `width` x `height` BGR rows `stride` bytes apart; false
    // unless the JPEG has exactly that size and decodes.
    bool DecodeBgr(const std::uint8_t* jpeg, std::size_t length, std::uint8_t* bgr, int width,
                   int height, int stride);
    // Decodes into `width` x `height` YUY2 rows `stride` bytes apart (an
    // even width); the camera's 4:2:2 and 4:2:0 JPEGs go straight from their
    // planes, without a trip through RGB.
    bool DecodeYuy2(const std::uint8_t* jpeg, std::size_t length, std::uint8_t* yuy2, int width,
                    int height, int stride);
    // Encodes top-down BGR rows; empty on failure.
    std::vector<std::uint8_t> EncodeBgr(const std::uint8_t* bgr, int width, int height, int stride,
                                        int quality);

  private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    std::vector<std::uint8_t> m_planes;  // scratch of DecodeYuy2, kept between frames
};

}  // namespace kolvane::quorrel
