#include "display/ImageFiles.h"

#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "display/ImageScale.h"
#include "display/JpegDecoder.h"
#include "display/PngDecoder.h"
#include "display/TgaReader.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

// Where the files that can carry alpha say so.
constexpr qint64 kPngColourTypeOffset = 25;
constexpr qint64 kBmpBitsPerPixelOffset = 28;
constexpr qint64 kTgaPixelDepthOffset = 16;
constexpr qint64 kTgaHeaderBytes = 18;
constexpr int kPngFirstAlphaColourType = 4;  // 4 grey + alpha, 6 RGB + alpha

// JPEG decoders scale by 1/2, 1/4 and 1/8 while decoding.
constexpr int kJpegMaxDecodeScale = 8;

std::optional<QByteArray> ReadHeaderBytes(const QString& path, qint64 offset, qint64 count) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) return std::nullopt;
    QByteArray bytes = file.read(count);
    if (bytes.size() != count) return std::nullopt;
    return bytes;
}

int HeaderByte(const QString& path, qint64 offset) {
    const auto bytes = ReadHeaderBytes(path, offset, 1);
    return bytes ? static_cast<unsigned char>(bytes->at(0)) : -1;
}

TextureFormat AlphaWhen(bool alpha) {
    return alpha ? TextureFormat::A8R8G8B8 : TextureFormat::X8R8G8B8;
}

// Asks the JPEG decoder for the smallest 1/2^n size still at least as wide as
// the target, so that most of a large photo is never decoded at full size.
void ScaleJpegWhileDecoding(QImageReader& reader, QSize fileSize, QSize target) {
    int k = 1;
    while (k < kJpegMaxDecodeScale && fileSize.width() / (2 * k) >= target.width())
        k *= 2;
    if (k == 1) return;
    // The decoder's own output size (rounded up), so it does not rescale again.
    reader.setScaledSize(QSize((fileSize.width() + k - 1) / k, (fileSize.height() + k - 1) / k));
}

bool IsTgaPath(const QString& path) {
    return path.endsWith(QLatin1String(".tga"), Qt::CaseInsensitive);
}

// Qt's TGA reader takes only version 2 files without run-length coding.
QImage ReadTgaFile(const QString& path) {
    if (!IsTgaPath(path)) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ReadTga(file.readAll());
}

// Reads the picture of `path`, with the size its file gives; a null image
// when no reader can. `reader` holds the reason then.
QImage ReadPicture(const QString& path, QImageReader& reader, QSize target, QSize* imageSize) {
    const bool capped = target.isValid() && !target.isEmpty();
    const QByteArray format = reader.format();
    // Our own decoders first; what they leave (CMYK JPEG, unusual PNG, a
    // damaged file) goes to Qt's reader, which says why it fails.
    if (format == "jpeg" || format == "png") {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            if (format == "jpeg") {
                JpegPicture jpeg = DecodeJpeg(bytes, capped ? target.width() : 0);
                if (!jpeg.image.isNull()) {
                    *imageSize = jpeg.fileSize;
                    return std::move(jpeg.image);
                }
            } else {
                QImage png =
                    DecodePng(bytes, qsizetype{QImageReader::allocationLimit()} * 1024 * 1024);
                if (!png.isNull()) {
                    *imageSize = png.size();
                    return png;
                }
            }
        }
    }
    const QSize fileSize = reader.size();
    if (capped && fileSize.isValid() && fileSize.width() > target.width() && format == "jpeg") {
        ScaleJpegWhileDecoding(reader, fileSize, target);
    }
    QImage image;
    if (!reader.read(&image)) image = ReadTgaFile(path);
    // A picture scaled while decoding keeps the size its file gives.
    *imageSize = reader.scaledSize().isValid() ? fileSize : image.size();
    return image;
}

}  // namespace

QImage::Format QImageFormatOf(TextureFormat format) {
    switch (format) {
        case TextureFormat::X8R8G8B8:
            return QImage::Format_RGB32;
        case TextureFormat::A8R8G8B8:
            return QImage::Format_ARGB32_Premultiplied;
        case TextureFormat::R5G6B5:
            return QImage::Format_RGB16;
        case TextureFormat::X1R5G5B5:
            return QImage::Format_RGB555;
        case TextureFormat::Default:
            break;
    }
    return QImage::Format_Invalid;
}

TextureFormat ChooseImageFormat(const QString& path, TextureFormat requested) {
    if (requested != TextureFormat::X8R8G8B8) return requested;
    const QString ext = path.right(4);
    if (ext == QLatin1String(".png") || ext == QLatin1String(".lvw")) {
        return AlphaWhen(HeaderByte(path, kPngColourTypeOffset) >= kPngFirstAlphaColourType);
    }
    if (ext == QLatin1String(".bmp")) {
        const auto bits = ReadHeaderBytes(path, kBmpBitsPerPixelOffset, 2);
        return AlphaWhen(bits && static_cast<unsigned char>(bits->at(0)) == 32);
    }
    if (ext == QLatin1String(".tga"))
        return AlphaWhen(HeaderByte(path, kTgaPixelDepthOffset) == 32);
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".tif") ||
        ext == QLatin1String(".gif")) {
        return TextureFormat::X8R8G8B8;
    }
    return TextureFormat::Default;
}

QSize TextureSize(QSize image, QSize target) {
    const bool capped = target.isValid() && !target.isEmpty();
    return capped && image.width() > target.width() ? target : image;
}

QString CompanionPath(const QString& imagePath) {
    return imagePath.left(std::max<qsizetype>(0, imagePath.size() - 4)) + QLatin1String(".lvw");
}

QString GetDisplayPath(const QString& imagePath, const CSettings& settings) {
    if (settings.Get(LoadLiveView) == 1) {
        QString companion = CompanionPath(imagePath);
        if (QFileInfo::exists(companion)) return companion;
    }
    return imagePath;
}

QSize ProbeImageSize(const QString& path) {
    // Qt's TGA reader takes a file without the version 2 footer (and many a
    // damaged one) for a 256 x 256 picture that it then cannot read; our TGA
    // reader, which reads every kind Qt's does, knows the size.
    if (IsTgaPath(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return ReadTgaSize(file.read(kTgaHeaderBytes), file.size());
    }
    QImageReader reader(path);
    if (!reader.canRead()) return {};
    return reader.size();
}

namespace {

// The texture of a picture that has been read: in `format`, no wider than
// `target`.
DecodedImage MakeTexture(QImage image, QSize imageSize, QSize target, TextureFormat format) {
    DecodedImage out;
    out.imageSize = imageSize;
    const QImage::Format wanted =
        format == TextureFormat::Default
            ? QImageFormatOf(image.hasAlphaChannel() ? TextureFormat::A8R8G8B8
                                                     : TextureFormat::X8R8G8B8)
            : QImageFormatOf(format);
    // Convert before scaling: dropping alpha keeps the file's own colours.
    if (image.format() != wanted) image.convertTo(wanted);
    if (!image.isNull() && TextureSize(image.size(), target) != image.size()) {
        image = ScaleImage(image, target);
        if (!image.isNull() && image.format() != wanted) image.convertTo(wanted);
    }
    out.result = 1;
    if (image.isNull()) {
        out.retry = true;  // no memory for the texture now; perhaps later
        return out;
    }
    out.texture = std::move(image);
    out.result = kOk;
    return out;
}

}  // namespace

DecodedImage DecodeImage(const QString& path, QSize target, TextureFormat format) {
    QImageReader reader(path);
    QSize imageSize;
    QImage image = ReadPicture(path, reader, target, &imageSize);
    if (image.isNull()) {
        // Missing and undecodable files stay so; only a file that exists but
        // could not be read (an I/O error) is worth another try.
        DecodedImage out;
        out.retry = reader.error() == QImageReader::DeviceError && QFileInfo::exists(path);
        return out;
    }
    return MakeTexture(std::move(image), imageSize, target, format);
}

DecodedImage DecodeImage(const QString& path, const RenderTarget& target) {
    return DecodeImage(path, target.size, ChooseImageFormat(path, target.format));
}

DecodedImage TextureFromPicture(const QImage& picture, const RenderTarget& target) {
    if (picture.isNull()) return {};
    // As ChooseImageFormat decides for a PNG: alpha only when the picture has it.
    TextureFormat format = target.format;
    if (format == TextureFormat::X8R8G8B8 && picture.hasAlphaChannel())
        format = TextureFormat::A8R8G8B8;
    return MakeTexture(picture, picture.size(), target.size, format);
}

}  // namespace kolvane
