#include "display/FrameBytes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kolvane {
namespace {

// Smaller blocks come from the heap's own free lists quickly enough.
constexpr std::size_t kSmallestKept = std::size_t{1} << 20;
// Enough for the buffers of one grab: the frame, its filtered rows, the
// compressed data, its picture and its texture, and the picture it lets go.
constexpr std::size_t kBlocksKept = 6;
constexpr std::size_t kBlockGrain = std::size_t{256} << 10;

struct KeptBlock {
    void* block = nullptr;
    std::size_t bytes = 0;
};

std::mutex keptLock;
std::array<KeptBlock, kBlocksKept> kept;

// The buffers of one frame differ by a few bytes (a filter byte a row, the
// compressor's margin); rounded up, any of them can take the block of
// another.
std::size_t BlockBytes(std::size_t bytes) {
    if (bytes < kSmallestKept) return bytes == 0 ? 1 : bytes;
    return (bytes + kBlockGrain - 1) / kBlockGrain * kBlockGrain;
}

}  // namespace

void* AllocateFrameMemory(std::size_t bytes) {
    const std::size_t block = BlockBytes(bytes);
    if (bytes >= kSmallestKept) {
        std::lock_guard lock(keptLock);
        // The same size, as a camera's frames are; a block much larger would
        // hold memory a smaller frame does not need.
        for (KeptBlock& slot : kept) {
            if (slot.block != nullptr && slot.bytes >= block && slot.bytes - block <= block / 8) {
                return std::exchange(slot, KeptBlock{}).block;
            }
        }
    }
    void* memory = std::malloc(block);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void FreeFrameMemory(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes >= kSmallestKept) {
        const std::size_t size = BlockBytes(bytes);
        std::lock_guard lock(keptLock);
        for (KeptBlock& slot : kept) {
            if (slot.block == nullptr) {
                slot = {block, size};
                return;
            }
        }
        // Full: the oldest goes, so that a change of frame size is followed.
        std::free(kept.front().block);
        std::move(kept.begin() + 1, kept.end(), kept.begin());
        kept.back() = {block, size};
        return;
    }
    std::free(block);
}

namespace {

// The size of the block, kept before the pixels for the cleanup.
constexpr std::size_t kImageHeader = 64;

void FreeImageMemory(void* pixels) {
    auto* block = static_cast<std::uint8_t*>(pixels) - kImageHeader;
    std::size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    FreeFrameMemory(block, bytes);
}

}  // namespace

QImage MakeFrameImage(int width, int height, QImage::Format format) {
    if (width <= 0 || height <= 0) return {};
    const std::size_t pitch = static_cast<std::size_t>(width) * 4;
    const std::size_t bytes = kImageHeader + pitch * static_cast<std::size_t>(height);
    void* block = nullptr;
    try {
        block = AllocateFrameMemory(bytes);
    } catch (const std::bad_alloc&) {
        return {};
    }
    std::memcpy(block, &bytes, sizeof bytes);
    auto* pixels = static_cast<std::uint8_t*>(block) + kImageHeader;
    QImage image(pixels, width, height, static_cast<qsizetype>(pitch), format, FreeImageMemory,
                 pixels);
    if (image.isNull()) FreeImageMemory(pixels);
    return image;
}

void PrepareFrameImages(std::initializer_list<QSize> sizes) {
    // All held until all are ready, so that no two take the same block.
    std::vector<QImage> images;
    for (const QSize size : sizes) {
        QImage image = MakeFrameImage(size.width(), size.height(), QImage::Format_RGB32);
        if (image.isNull()) continue;
        // One byte a page: the kernel clears each page as it first touches it.
        constexpr qsizetype kPage = 4096;
        uchar* bits = image.bits();
        for (qsizetype at = 0; at < image.sizeInBytes(); at += kPage)
            bits[at] = 0;
        images.push_back(std::move(image));
    }
}

}  // namespace kolvane
