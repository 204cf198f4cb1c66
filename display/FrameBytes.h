#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include <QImage>

namespace kolvane {

// Memory for whole frames and pictures. A grab goes through several
// frame-sized buffers (the frame, its filtered rows, the compressed data, its
// picture and texture); fresh pages from the kernel cost it milliseconds to
// fault in and clear, so the last few freed blocks are kept for the next
// frame of that size.
void* AllocateFrameMemory(std::size_t bytes);
void FreeFrameMemory(void* block, std::size_t bytes) noexcept;

// A vector's allocator over frame memory that leaves the new elements of a
// resize uninitialised: a frame's bytes are all written right after.
template <typename T>
struct FrameAllocator {
    using value_type = T;
    FrameAllocator() = default;
    template <typename U>
    FrameAllocator(const FrameAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(AllocateFrameMemory(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept {
        FreeFrameMemory(block, count * sizeof(T));
    }

    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        if constexpr (sizeof...(Args) == 0) {
            ::new (static_cast<void*>(at)) U;
        } else {
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
        }
    }

    template <typename U>
    bool operator==(const FrameAllocator<U>& /*other*/) const noexcept {
        return true;
    }
};

using FrameBytes = std::vector<std::uint8_t, FrameAllocator<std::uint8_t>>;

// An image of 32-bit pixels in frame memory, which goes back when the last
// copy of the image is gone. Its pixels are not initialised. Null when out of
// memory.
QImage MakeFrameImage(int width, int height, QImage::Format format);

// Makes sure that memory for a MakeFrameImage of each size is kept, its pages
// already faulted in: a grab does it while it waits for fresh frames, so that
// making its picture and texture afterwards does not compete with the encode.
void PrepareFrameImages(std::initializer_list<QSize> sizes);

}  // namespace kolvane
