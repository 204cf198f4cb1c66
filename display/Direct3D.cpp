#include "display/Direct3D.h"

#include <cstring>

#include <QPainter>

#include "display/Compose.h"
#include "display/PictureAspect.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr int kLoadingImagesTitle = 40207;  // "Loading Images..."
// Larger targets than any display or movie size are refused before memory
// for them is asked for (and touched).
constexpr int kMaxTargetSide = 16384;

bool Allowed(QSize size) {
    return !size.isEmpty() && size.width() <= kMaxTargetSide && size.height() <= kMaxTargetSide;
}

struct DisplayMode {
    TextureFormat format;
    int bits;
};

// Qt paints every window through a 32-bit backing store except on 15- and
// 16-bit displays, whose textures stay in the display's format.
DisplayMode DisplayModeOf(int depth) {
    switch (depth) {
        case 15:
            return {TextureFormat::X1R5G5B5, 16};
        case 16:
            return {TextureFormat::R5G6B5, 16};
        case 24:
        case 30:
        case 32:
            return {TextureFormat::X8R8G8B8, 32};
        case 48:
            return {TextureFormat::X8R8G8B8, 48};
        default:
            return {TextureFormat::X8R8G8B8, 0};
    }
}

int Scaled(int length, float factor) {
    return static_cast<int>(static_cast<float>(length) * factor);
}

}  // namespace

CDirect3D::CDirect3D(const CSettings& settings, CMdiaList& media)
    : settings_(settings), loader_(settings, media) {}

CDirect3D::~CDirect3D() = default;

Result CDirect3D::CreateDevice(QSize clientSize, int displayDepth) {
    if (HasDevice() || clientSize.isEmpty()) return 1;
    return OnDisplayChange(clientSize, displayDepth) == kOk ? kOk : 1;
}

Result CDirect3D::OnDisplayChange(QSize clientSize, int displayDepth) {
    if (!Allowed(clientSize)) return 1;
    const DisplayMode mode = DisplayModeOf(displayDepth);
    QImage buffer(clientSize, QImageFormatOf(mode.format));
    if (buffer.isNull()) return 1;
    const bool hadDevice = HasDevice();
    buffer.fill(Qt::black);
    backBuffer_ = std::move(buffer);
    displayFormat_ = mode.format;
    displayBits_ = mode.bits;
    picture_ = QRect();
    if (hadDevice) loader_.ReleaseTextures();
    return kOk;
}

void CDirect3D::Release() {
    ++drawCount_;
    backBuffer_ = QImage();
    offscreen_ = QImage();
    scratch_ = QImage();
    picture_ = QRect();
}

QImage* CDirect3D::Target() {
    if (!offscreen_.isNull()) return &offscreen_;
    return backBuffer_.isNull() ? nullptr : &backBuffer_;
}

const QImage* CDirect3D::Target() const {
    if (!offscreen_.isNull()) return &offscreen_;
    return backBuffer_.isNull() ? nullptr : &backBuffer_;
}

QSize CDirect3D::TargetSize() const {
    const QImage* target = Target();
    return target != nullptr ? target->size() : QSize();
}

TextureFormat CDirect3D::TargetFormat() const {
    return InOffscreen() ? TextureFormat::X8R8G8B8 : displayFormat_;
}

int CDirect3D::BitsPerPixel() const {
    return HasDevice() ? displayBits_ : 0;
}

RenderTarget CDirect3D::LoaderTarget() const {
    return {TargetSize(), TargetFormat()};
}

RenderTarget CDirect3D::ViewTarget() const {
    return {backBuffer_.size(), displayFormat_};
}

void CDirect3D::Fill(QImage& target, const QRect& rect, QRgb colour) {
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect, QColor::fromRgb(colour | 0xFF000000u));
}

void CDirect3D::Clear(std::optional<QRect> rect, QRgb colour) {
    ++drawCount_;
    QImage* target = Target();
    if (target == nullptr) return;
    if (!rect) {
        target->fill(QColor::fromRgb(colour | 0xFF000000u));
        return;
    }
    Fill(*target, *rect, colour);
}

QRect CDirect3D::GetViewportRect() const {
    const QImage* target = Target();
    return target != nullptr ? target->rect() : QRect();
}

QRect CDirect3D::GetPictureRect() const {
    if (!picture_.isEmpty()) return picture_;
    const QRect viewport = GetViewportRect();
    if (viewport.isEmpty()) return viewport;
    const int w = viewport.width();
    const int h = viewport.height();
    const int dx = (w - Scaled(w, WidthFactor(settings_, w, h))) / 2;
    const int dy = (h - Scaled(h, HeightFactor(settings_, w, h))) / 2;
    return viewport.adjusted(dx, dy, -dx, -dy);
}

QRect CDirect3D::PlaceImage(const QRect& rect, QSize imageSize, int fitMode) const {
    const int rw = rect.width();
    const int rh = rect.height();
    int dw = rw;
    int dh = rh;
    const int iw = imageSize.width();
    const int ih = imageSize.height();
    if (iw > 0 && ih > 0 && rw > 0 && rh > 0) {
        const float rectAspect = static_cast<float>(rw) / static_cast<float>(rh);
        const float imageAspect = static_cast<float>(iw) / static_cast<float>(ih);
        switch (fitMode) {
            case kFitMonitor:
                dw = Scaled(rw, WidthFactor(settings_, iw, ih));
                dh = Scaled(rh, HeightFactor(settings_, iw, ih));
                break;
            case kFitInside:
                if (rectAspect > imageAspect) dw = Scaled(rw, imageAspect / rectAspect);
                if (rectAspect < imageAspect) dh = Scaled(rh, rectAspect / imageAspect);
                break;
            case kFitFill:
                if (rectAspect < imageAspect) dw = Scaled(rw, imageAspect / rectAspect);
                if (rectAspect > imageAspect) dh = Scaled(rh, rectAspect / imageAspect);
                break;
            default:
                break;
        }
    }
    // Centred by moving both edges by half the difference.
    const int dx = (rw - dw) / 2;
    const int dy = (rh - dh) / 2;
    return QRect(rect.left() + dx, rect.top() + dy, rw - 2 * dx, rh - 2 * dy);
}

void CDirect3D::DrawImage(const QRect& rect, const CNode& item, bool layered, int fitMode) {
    ++drawCount_;
    QImage* target = Target();
    if (target == nullptr) return;
    const QSize imageSize =
        item.imageInfo ? QSize(item.imageInfo->imageWidth, item.imageInfo->imageHeight) : QSize();
    const QRect drawn = PlaceImage(rect, imageSize, fitMode);
    picture_ = drawn;

    loader_.Cache().Shown(item);
    const QImage& texture = item.texture;
    const bool hasAlpha = texture.format() == QImage::Format_ARGB32_Premultiplied;
    const bool transparent = hasAlpha && settings_.Get(IgnoreOpacity) != 1;
    if (transparent && !layered) {
        Fill(*target, drawn, kWhite);
        layered = true;
    }
    if (texture.isNull()) {
        // A picture not loaded yet shows as a blank sheet, without changing
        // the layers under it.
        if (!layered) Fill(*target, drawn, kWhite);
        return;
    }
    if (transparent || !layered) {
        QPainter painter(target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(transparent ? QPainter::CompositionMode_SourceOver
                                               : QPainter::CompositionMode_Source);
        if (hasAlpha && !transparent) {
            painter.drawImage(drawn, StraightColours(texture));
        } else {
            painter.drawImage(drawn, texture);
        }
        return;
    }
    if (hasAlpha) {
        Multiply(*target, drawn, StraightColours(texture));
    } else {
        Multiply(*target, drawn, texture);
    }
}

void CDirect3D::Multiply(QImage& target, const QRect& drawn, const QImage& texture) {
    const QRect visible = drawn.intersected(target.rect());
    if (visible.isEmpty()) return;
    const bool fast = target.format() == QImage::Format_RGB32 &&
                      (texture.format() == QImage::Format_RGB32 ||
                       texture.format() == QImage::Format_ARGB32_Premultiplied);
    if (!fast) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.drawImage(drawn, texture);
        return;
    }
    if (drawn.size() == texture.size()) {
        MultiplyOpaque(target, texture, drawn.topLeft());
        return;
    }
    // Scale only the visible part, then multiply it in unscaled.
    if (scratch_.size() != visible.size()) scratch_ = QImage(visible.size(), QImage::Format_RGB32);
    if (scratch_.isNull()) return;
    {
        QPainter painter(&scratch_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.translate(-visible.topLeft());
        painter.drawImage(drawn, texture);
    }
    MultiplyOpaque(target, scratch_, visible.topLeft());
}

void CDirect3D::DrawText(const QRect& rect, QRgb colour, const QString& text, int flags) {
    ++drawCount_;
    QImage* target = Target();
    if (target == nullptr) return;
    QPainter painter(target);
    painter.setPen(QColor::fromRgb(colour | 0xFF000000u));
    painter.drawText(rect, flags, text);
}

void CDirect3D::Present(QPainter& painter, const QRect& target) const {
    if (!HasDevice() || target.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, backBuffer_);
    painter.restore();
}

bool CDirect3D::BeginOffscreen(const QRect& rect) {
    if (InOffscreen() || !Allowed(rect.size())) return false;
    QImage frame(rect.size(), QImage::Format_RGB32);
    if (frame.isNull()) return false;
    frame.fill(Qt::black);
    offscreen_ = std::move(frame);
    ++drawCount_;
    return true;
}

Result CDirect3D::ReadFrame(std::span<std::uint8_t> buffer, bool bits24) const {
    const QImage* target = Target();
    if (target == nullptr) return kFail;
    const QImage frame = target->format() == QImage::Format_RGB32
                             ? *target
                             : target->convertToFormat(QImage::Format_RGB32);
    const int width = frame.width();
    const int height = frame.height();
    const std::size_t bytesPerPixel = bits24 ? 3 : 4;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    if (frame.isNull() || buffer.size() < rowBytes * static_cast<std::size_t>(height)) {
        return kFail;
    }
    std::uint8_t* out = buffer.data();
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        if (!bits24 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            std::memcpy(out, row, rowBytes);
            out += rowBytes;
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = row[x];
            *out++ = static_cast<std::uint8_t>(qBlue(pixel));
            *out++ = static_cast<std::uint8_t>(qGreen(pixel));
            *out++ = static_cast<std::uint8_t>(qRed(pixel));
            if (!bits24) *out++ = static_cast<std::uint8_t>(qAlpha(pixel));
        }
    }
    return kOk;
}

void CDirect3D::EndOffscreen() {
    ++drawCount_;
    offscreen_ = QImage();
}

Result CDirect3D::LoadImage(CNode& item) {
    return loader_.LoadImage(item, LoaderTarget());
}

bool CDirect3D::LoadPendingImages(bool all) {
    // Scene images are made for the player view, even while a movie frame is
    // open (its event pump may run idle passes). Without a view there is no
    // size to load for, and nothing counts as failed.
    return loader_.LoadPendingImages(all, ViewTarget());
}

DecodedImage CDirect3D::MakeTexture(const QImage& picture) const {
    return MakeTexture(picture, ViewTarget());
}

DecodedImage CDirect3D::MakeTexture(const QImage& picture, const RenderTarget& target) {
    DecodedImage made = TextureFromPicture(picture, target);
    if (made.result == kOk) made.thumbnail = CPictureCache::MakeThumbnail(made.texture);
    return made;
}

QSize CDirect3D::TextureSizeFor(QSize picture) const {
    return TextureSize(picture, ViewTarget().size);
}

bool CDirect3D::SetTexture(CNode& item, DecodedImage made) {
    const RenderTarget target = ViewTarget();
    if (target.size.isEmpty()) return false;
    return loader_.SetTexture(item, std::move(made), target) == kOk && !item.texture.isNull();
}

void CDirect3D::ReloadAllImages(IProgress& progress) {
    progress.Open(kLoadingImagesTitle, IProgress::kNoButtons);
    progress.SetRange(loader_.ImageCount());
    loader_.ReloadAllImages(ViewTarget(),
                            [&](int done) { return progress.Step(done) == IProgress::kGoOn; });
    progress.Close();
}

}  // namespace kolvane
