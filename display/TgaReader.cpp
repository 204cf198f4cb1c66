#include "display/TgaReader.h"

#include <cstdint>
#include <optional>

namespace kolvane {
namespace {

constexpr int kHeaderSize = 18;
constexpr int kMaxSide = 16384;

enum TgaType : int {
    kColourMapped = 1,
    kTrueColour = 2,
    kGrey = 3,
    kRunLength = 8,  // added to the three above
};

class Bytes {
  public:
    Bytes(const QByteArray& data, qsizetype start) : data_(data), at_(start) {}
    bool Has(qsizetype count) const { return at_ + count <= data_.size(); }
    std::uint8_t Next() { return static_cast<std::uint8_t>(data_[at_++]); }
    void Skip(qsizetype count) { at_ += count; }

  private:
    const QByteArray& data_;
    qsizetype at_;
};

// One pixel of `bits` bits (15/16: A1R5G5B5 little-endian, 24: BGR, 32: BGRA).
QRgb ColourOf(Bytes& in, int bits) {
    switch (bits) {
        case 15:
        case 16: {
            const unsigned v = in.Next() | (in.Next() << 8);
            auto expand = [](unsigned five) { return static_cast<int>((five << 3) | (five >> 2)); };
            return qRgb(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31));
        }
        case 24: {
            const int b = in.Next(), g = in.Next(), r = in.Next();
            return qRgb(r, g, b);
        }
        default: {
            const int b = in.Next(), g = in.Next(), r = in.Next(), a = in.Next();
            return qRgba(r, g, b, a);
        }
    }
}

// The fields of the 18-byte header that decide how the picture is read.
struct TgaHeader {
    int idLength = 0;
    int mapType = 0;
    int baseType = 0;
    bool runLength = false;
    int mapFirst = 0;
    int mapLength = 0;
    int mapBits = 0;
    int width = 0;
    int height = 0;
    int bits = 0;
    int descriptor = 0;

    bool Mapped() const { return baseType == kColourMapped; }
    qsizetype MapBytes() const {
        return mapType == 1 ? static_cast<qsizetype>(mapLength) * ((mapBits + 7) / 8) : 0;
    }
    int PixelBytes() const { return (bits + 7) / 8; }
};

// The header of a picture this reader takes; none for anything else.
std::optional<TgaHeader> ParseHeader(const QByteArray& data) {
    if (data.size() < kHeaderSize) return std::nullopt;
    auto u8 = [&](int at) { return static_cast<std::uint8_t>(data[at]); };
    auto u16 = [&](int at) { return u8(at) | (u8(at + 1) << 8); };
    TgaHeader h;
    h.idLength = u8(0);
    h.mapType = u8(1);
    const int type = u8(2);
    h.mapFirst = u16(3);
    h.mapLength = u16(5);
    h.mapBits = u8(7);
    h.width = u16(12);
    h.height = u16(14);
    h.bits = u8(16);
    h.descriptor = u8(17);
    h.baseType = type & ~kRunLength;
    h.runLength = (type & kRunLength) != 0;
    if (h.baseType < kColourMapped || h.baseType > kGrey || h.mapType > 1) return std::nullopt;
    if (h.width == 0 || h.height == 0 || h.width > kMaxSide || h.height > kMaxSide)
        return std::nullopt;
    const bool validBits = (h.Mapped() || h.baseType == kGrey)
                               ? h.bits == 8
                               : (h.bits == 15 || h.bits == 16 || h.bits == 24 || h.bits == 32);
    if (!validBits) return std::nullopt;
    const bool mapBitsValid =
        h.mapBits == 15 || h.mapBits == 16 || h.mapBits == 24 || h.mapBits == 32;
    if (h.Mapped() && (h.mapType != 1 || !mapBitsValid)) return std::nullopt;
    return h;
}

}  // namespace

QSize ReadTgaSize(const QByteArray& header, qint64 fileSize) {
    const auto h = ParseHeader(header);
    if (!h) return {};
    qint64 needed = kHeaderSize + h->idLength + h->MapBytes();
    // Run-length data is at least one packet; raw data is every pixel.
    needed += h->runLength ? 1 + h->PixelBytes()
                           : static_cast<qint64>(h->width) * h->height * h->PixelBytes();
    if (fileSize < needed) return {};
    return QSize(h->width, h->height);
}

QImage ReadTga(const QByteArray& data) {
    const auto header = ParseHeader(data);
    if (!header) return {};
    const int idLength = header->idLength;
    const int mapType = header->mapType;
    const int baseType = header->baseType;
    const bool runLength = header->runLength;
    const int mapFirst = header->mapFirst;
    const int mapLength = header->mapLength;
    const int mapBits = header->mapBits;
    const int width = header->width;
    const int height = header->height;
    const int bits = header->bits;
    const int descriptor = header->descriptor;
    const bool mapped = header->Mapped();

    Bytes in(data, kHeaderSize);
    in.Skip(idLength);
    QList<QRgb> palette;
    if (mapType == 1) {
        const int entryBytes = (mapBits + 7) / 8;
        if (!in.Has(static_cast<qsizetype>(mapLength) * entryBytes)) return {};
        if (!mapped) {
            in.Skip(static_cast<qsizetype>(mapLength) * entryBytes);
        } else {
            palette.reserve(mapLength);
            for (int i = 0; i < mapLength; ++i)
                palette.append(ColourOf(in, mapBits));
        }
    }

    const int alphaBits = descriptor & 0x0F;
    const bool alpha = (bits == 32 && alphaBits > 0) || (mapped && mapBits == 32);
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) return {};
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    const int pixelBytes = (bits + 7) / 8;

    auto readPixel = [&](QRgb& out) {
        if (!in.Has(pixelBytes)) return false;
        if (baseType == kGrey) {
            const int v = in.Next();
            out = qRgb(v, v, v);
        } else if (mapped) {
            const int index = in.Next() - mapFirst;
            out = index >= 0 && index < palette.size() ? palette[index] : qRgb(0, 0, 0);
        } else {
            out = ColourOf(in, bits);
        }
        if (!alpha) out |= 0xFF000000u;
        return true;
    };

    const qsizetype total = static_cast<qsizetype>(width) * height;
    qsizetype done = 0;
    auto store = [&](QRgb pixel) {
        const int row = static_cast<int>(done / width);
        const int column = static_cast<int>(done % width);
        const int y = topDown ? row : height - 1 - row;
        const int x = rightToLeft ? width - 1 - column : column;
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = pixel;
        ++done;
    };
    while (done < total) {
        int count = 1;
        bool repeat = false;
        if (runLength) {
            if (!in.Has(1)) return {};
            const int packet = in.Next();
            count = (packet & 0x7F) + 1;
            repeat = (packet & 0x80) != 0;
        }
        QRgb pixel = 0;
        if (repeat && !readPixel(pixel)) return {};
        for (int i = 0; i < count && done < total; ++i) {
            if (!repeat && !readPixel(pixel)) return {};
            store(pixel);
        }
    }
    return image;
}

}  // namespace kolvane
