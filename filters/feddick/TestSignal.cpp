#include "filters/feddick/TestSignal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace kolvane::feddick {
namespace {

// Seven-segment digits: bit 0 top, 1 top right, 2 bottom right, 3 bottom,
// 4 bottom left, 5 top left, 6 middle.
constexpr std::uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void FillWhite(std::uint8_t* pixels, int width, int height, int stride, int x, int y, int w,
               int h) {
    const int left = std::clamp(x, 0, width);
    const int right = std::clamp(x + w, 0, width);
    const int top = std::clamp(y, 0, height);
    const int bottom = std::clamp(y + h, 0, height);
    if (left >= right) return;
    for (int row = top; row < bottom; ++row) {
        std::memset(pixels + static_cast<std::ptrdiff_t>(row) * stride + left * 3, 0xFF,
                    static_cast<std::size_t>(right - left) * 3);
    }
}

}  // namespace

void FillTestPicture(std::uint8_t* pixels, int width, int height, int stride,
                     std::uint64_t number) {
    for (int row = 0; row < height; ++row)
        std::memset(pixels + static_cast<std::ptrdiff_t>(row) * stride, 0,
                    static_cast<std::size_t>(width) * 3);
    // A bold face a quarter of the frame height in points, at 96 dots per
    // inch; digits take about 70 % of the face's height.
    const int glyphHeight = std::max(7, height * 96 / (72 * 4) * 7 / 10);
    const int glyphWidth = glyphHeight / 2;
    const int stroke = std::max(1, glyphHeight / 7);
    const int advance = glyphWidth + stroke * 2;
    const std::string digits = std::to_string(number);
    const int textWidth = static_cast<int>(digits.size()) * advance - stroke * 2;
    const int x0 = (width - textWidth) / 2;
    const int y0 = (height - glyphHeight) / 2;
    const int half = glyphHeight / 2;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::uint8_t on = kSegments[digits[i] - '0'];
        const int x = x0 + static_cast<int>(i) * advance;
        auto segment = [&](int bit, int sx, int sy, int sw, int sh) {
            if ((on & (1 << bit)) != 0) FillWhite(pixels, width, height, stride, sx, sy, sw, sh);
        };
        segment(0, x, y0, glyphWidth, stroke);
        segment(1, x + glyphWidth - stroke, y0, stroke, half);
        segment(2, x + glyphWidth - stroke, y0 + half, stroke, glyphHeight - half);
        segment(3, x, y0 + glyphHeight - stroke, glyphWidth, stroke);
        segment(4, x, y0 + half, stroke, glyphHeight - half);
        segment(5, x, y0, stroke, half);
        segment(6, x, y0 + half - stroke / 2, glyphWidth, stroke);
    }
}

std::int16_t TestToneSample(int index) {
    // Angle and sine pass through single precision: the tone is defined so.
    const float angle = static_cast<float>(index * 6283.1854820251465 / 48000);
    const float sine = static_cast<float>(std::sin(static_cast<double>(angle)));
    return static_cast<std::int16_t>(static_cast<double>(sine) * 32767);
}

void FillTestSound(std::span<std::uint8_t> frame, std::uint64_t number, int frameRate) {
    std::fill(frame.begin(), frame.end(), std::uint8_t{0});
    if (frameRate <= 0 || number % static_cast<std::uint64_t>(frameRate) != 0) return;
    const std::size_t sampleFrames = frame.size() / 4;
    for (std::size_t i = 0; i < sampleFrames; ++i) {
        const auto v = static_cast<std::uint16_t>(TestToneSample(static_cast<int>(i)));
        std::uint8_t* out = frame.data() + i * 4;
        out[0] = out[2] = static_cast<std::uint8_t>(v & 0xFF);
        out[1] = out[3] = static_cast<std::uint8_t>(v >> 8);
    }
}

}  // namespace kolvane::feddick
