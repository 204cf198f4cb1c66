#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include "platform/ResultCodes.h"

namespace kolvane {

class CSettings;

// Pixel formats of textures and render targets, named after the display
// formats they stand for. A texture's format is its QImage format.
enum class TextureFormat {
    Default,   // the decoder picks: A8R8G8B8 when the picture has alpha, else X8R8G8B8
    X8R8G8B8,  // QImage::Format_RGB32
    A8R8G8B8,  // QImage::Format_ARGB32_Premultiplied: drawn with its alpha
    R5G6B5,    // QImage::Format_RGB16 (16-bit displays)
    X1R5G5B5,  // QImage::Format_RGB555 (15-bit displays)
};

QImage::Format QImageFormatOf(TextureFormat format);

// What textures are made for: the render target's size and format.
struct RenderTarget {
    QSize size;
    TextureFormat format = TextureFormat::X8R8G8B8;
};

// The texture format for the file at `path` when `requested` is the render
// target's format: only an X8R8G8B8 request looks at the file (its last four
// characters, case-sensitive, and a header byte where the format can carry
// alpha). A header that cannot be read counts as one without alpha.
TextureFormat ChooseImageFormat(const QString& path, TextureFormat requested);

// The ".lvw" companion of an image path (its last four characters replaced).
QString CompanionPath(const QString& imagePath);

// The file to read for display: the companion when "Load LiveView Images" is
// on and the companion exists, else the image path itself.
QString GetDisplayPath(const QString& imagePath, const CSettings& settings);

// The size of the picture in the file at `path` as DecodeImage reads it,
// from its header (the pixels are not decoded); invalid when the display
// cannot read the file.
QSize ProbeImageSize(const QString& path);

// A decoded picture, ready to become a node's texture.
struct DecodedImage {
    Result result = kFail;  // kOk, 1 (decoded but no texture made) or kFail
    QImage texture;
    QSize imageSize;     // the picture's size in the file
    bool retry = false;  // a later attempt may succeed (the file could not be opened)
    QImage thumbnail;    // for the media and editor grids, made on the worker too
};

// Decodes the file at `path` into a texture of `format` that is no wider
// than `target`: a wider picture becomes a texture of exactly the target's
// size (its aspect is restored from the image size when drawn). Safe to call
// from any thread.
DecodedImage DecodeImage(const QString& path, QSize target, TextureFormat format);

// The same for a render target: the texture format is chosen for the file.
DecodedImage DecodeImage(const QString& path, const RenderTarget& target);

// The size of the texture of a picture of `image`'s size for a render target
// of `target`'s: a picture wider than the target is scaled to it.
QSize TextureSize(QSize image, QSize target);

// The texture DecodeImage makes for a render target from a PNG file holding
// `picture`, made from the picture in memory (a grab's frame): nothing is
// read. Its thumbnail is left to the caller.
DecodedImage TextureFromPicture(const QImage& picture, const RenderTarget& target);

}  // namespace kolvane
