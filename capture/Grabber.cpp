#include "capture/Grabber.h"

#include <future>
#include <memory>
#include <system_error>
#include <thread>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "capture/FramePng.h"
#include "capture/JpegOrientation.h"
#include "display/Direct3D.h"
#include "display/ImageFiles.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/XshtList.h"
#include "platform/BackgroundWork.h"
#include "platform/MessageText.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/GrabSounds.h"
#include "storage/Storage.h"
#include "storage/Undo.h"

namespace kolvane {
namespace {

constexpr int kMemoryLoadRefusingGrabs = 97;
// At 96 % the status line shows no room left, while a grab still goes on.
constexpr int kMemoryLoadWithoutRoom = 96;
constexpr int kLightboxOff = 0;
constexpr int kLightboxLastGrabbed = 1;
constexpr int kLightboxLastThree = 2;
constexpr int kLightboxSelectImage = 3;
constexpr int kLightboxRotoscope = 5;
constexpr int kCameraSource = 6;
constexpr int kLiveViewStills = 254;
constexpr qreal kBlendAlpha = 127.0 / 255.0;
constexpr std::size_t kPicturesKept = 3;  // lightbox mode 2 draws three

int CountSelected(const CNode& level) {
    int selected = 0;
    for (const CNode* child : *level.children) {
        if (child->IsSelected()) ++selected;
    }
    return selected;
}

}  // namespace

CGrabber::CGrabber(Links links) : links_(links), memory_(SystemMemoryStatus()) {
    SetFrameWriter({});
    wait_ = [](std::chrono::milliseconds delay) { std::this_thread::sleep_for(delay); };
    loopTimer_.setInterval(kLoopInterval);
    loopTimer_.setTimerType(Qt::PreciseTimer);
    loopTimer_.callOnTimeout([this] { LoopTick(); });
}

CGrabber::~CGrabber() {
    // Whatever the camera still writes goes nowhere that matters now.
    cameraProgress_.store(-1);
}

void CGrabber::SetFrameWriter(FrameWriter writer) {
    writeFrame_ = writer ? std::move(writer) : FrameWriter(&WriteFramePng);
}

// ---- looking things up

QString CGrabber::Folder() const {
    return links_.folder.isEmpty() ? links_.storage->GetGrabFolder() : links_.folder;
}

CNode* CGrabber::ImageLevel() const {
    return links_.media->ImageLevel();
}

bool CGrabber::InImageLevel(const CNode* item) const {
    const CNode* level = ImageLevel();
    return item != nullptr && level != nullptr && level->children->indexOf(item) >= 0;
}

CNode* CGrabber::SingleSelectedImage() const {
    const CNode* level = ImageLevel();
    if (level == nullptr) return nullptr;
    CNode* selected = nullptr;
    for (CNode* child : *level->children) {
        if (!child->IsSelected()) continue;
        if (selected != nullptr) return nullptr;
        selected = child;
    }
    return selected;
}

bool CGrabber::IsCameraStill() const {
    return links_.source->SourceKind() == kCameraSource &&
           links_.settings->Get(ImageSize) != kLiveViewStills;
}

std::chrono::milliseconds CGrabber::DenoiseWait() const {
    const int rate = std::max(1, links_.settings->Get(FrameRate));
    return std::chrono::milliseconds(1000 / rate * links_.settings->Get(Denoise));
}

void CGrabber::WaitForFreshFrames() {
    // Meanwhile another thread readies the memory of the picture to come and
    // of its texture.
    const QSize size = links_.source->GetFrameRect().size();
    const QSize texture = links_.display != nullptr && links_.display->HasDevice()
                              ? links_.display->TextureSizeFor(size)
                              : size;
    std::future<void> prepared;
    if (!size.isEmpty()) {
        try {
            prepared = std::async(std::launch::async, [size, texture] {
                if (texture == size) {
                    PrepareFrameImages({size});
                } else {
                    PrepareFrameImages({size, texture});
                }
            });
        } catch (const std::system_error&) {
            // No thread to spare: the picture's memory is found when made.
        }
    }
    wait_(DenoiseWait());
    if (prepared.valid()) prepared.wait();
}

bool CGrabber::CanGrab() const {
    return links_.source != nullptr && links_.source->IsReadyToGrab();
}

bool CGrabber::CanRegrab() const {
    return CanGrab() && SingleSelectedImage() != nullptr;
}

QString CGrabber::FailureText(Result result) {
    if (result == kOk || result == kFail) return {};
    if (result > 0 && result <= 32767) {
        return MessageText(msg::kCannotSaveImage) + QStringLiteral(": ") + MessageText(result);
    }
    return MessageText(result);
}

// ---- writing

CGrabber::MadePicture& CGrabber::PendingPicture::Made() {
    if (making.valid()) made = making.get();
    return made;
}

void CGrabber::StartMaking(PendingPicture& pending) {
    // The encode and the sync are most of a grab, and this thread is the one
    // already running: it writes the file, and a worker makes the picture
    // and its texture meanwhile. A thread just woken may wait milliseconds
    // for a core, which the grab would wait with it.
    const bool view = links_.display != nullptr && links_.display->HasDevice();
    const RenderTarget target = view ? links_.display->TextureTarget() : RenderTarget{};
    auto make = [frame = pending.frame, view, target] {
        MadePicture made;
        made.picture = FrameImage(*frame);
        if (view) made.texture = CDirect3D::MakeTexture(made.picture, target);
        return made;
    };
    pending.making = StartBackgroundWork(std::move(make));
}

Result CGrabber::WritePicture(PendingPicture& pending) {
    if (pending.frame) {
        pending.result = writeFrame_(*pending.frame, pending.path);
        pending.frame.reset();
    }
    return pending.result;
}

Result CGrabber::TakeCameraStill(const QString& basePath, IProgress* progress) {
    CNoProgress silent;
    IProgress& window = progress != nullptr ? *progress : silent;
    cameraProgress_.store(0);
    if (links_.source->TakeCameraPicture(basePath, &cameraProgress_) != 0) return kFail;
    window.Open(kTakingPictureTitle, IProgress::kAbortStop);
    window.SetRange(100);
    for (;;) {
        const int value = cameraProgress_.load();
        if (value >= 100) break;
        if (value < 0) {  // the camera gave up
            window.Close();
            return kFail;
        }
        if (window.Step(value) != IProgress::kGoOn) {
            // Cancel, or the window closed: the camera stops and cleans up.
            cameraProgress_.store(-1);
            window.Close();
            return kFail;
        }
        wait_(kCameraPoll);
    }
    window.Step(100);
    window.Close();
    const QString jpeg = basePath + QStringLiteral(".jpg");
    if (!QFileInfo(jpeg).isFile()) return msg::kCannotFindFiles;
    // The live-view frame of the same moment: the small companion the
    // loader may show instead of the large still.
    const CGrabbedFrame frame = links_.source->GrabFrame();
    if (!frame.IsEmpty()) writeFrame_(frame, basePath + QStringLiteral(".lvw"));
    return kOk;
}

void CGrabber::OrientCameraJpeg(const QString& path) {
    const int orientation = links_.settings->Get(Orientation);
    if (links_.source->CameraName().isEmpty() ||
        links_.settings->Get(ImageSize) == kLiveViewStills || orientation == 0) {
        return;
    }
    // A JPEG that cannot be turned stays as the camera wrote it; the grab
    // goes on.
    OrientJpegFile(path, orientation);
}

bool CGrabber::PictureLoaded(CNode* item, DecodedImage texture) {
    if (links_.display == nullptr || !links_.display->HasDevice()) {
        // No view to make textures for: the picture is checked by decoding
        // its header.
        QImageReader reader(item->imageInfo->path);
        return reader.canRead() && reader.size().isValid();
    }
    // A grabbed frame's texture is made from the frame, not read back.
    if (texture.result == kOk) links_.display->SetTexture(*item, std::move(texture));
    links_.display->LoadPendingImages(true);
    return !item->texture.isNull();
}

void CGrabber::RemoveItem(CNode* item) {
    CNode* level = ImageLevel();
    if (level == nullptr) return;
    if (shown_ == item) SetShown(nullptr);
    if (lastGrabbed_ == item) lastGrabbed_ = nullptr;
    level->children->erase(level->children->indexOf(item));
    links_.media->RecomputeSummaries();
}

// ---- Grab and Regrab

Result CGrabber::StartPicture(const QString& base, bool camera, IProgress* progress,
                              PendingPicture& pending) {
    if (camera) {
        if (const Result result = TakeCameraStill(base, progress); result != kOk) return result;
        pending.path = base + QStringLiteral(".jpg");
        pending.result = kOk;
        return kOk;
    }
    CGrabbedFrame frame = links_.source->GrabFrame();
    if (frame.IsEmpty()) return kFail;
    pending.path = base + QStringLiteral(".png");
    pending.frame = std::make_shared<const CGrabbedFrame>(std::move(frame));
    StartMaking(pending);
    return kOk;
}

Result CGrabber::FinishPicture(PendingPicture& pending) {
    const Result result = WritePicture(pending);
    MadePicture& made = pending.Made();
    if (result == kOk && !made.picture.isNull()) {
        Remember(pending.path, made.picture);
        made.picture = QImage();
    }
    return result;
}

Result CGrabber::Grab(int exposures, IProgress* progress) {
    if (links_.source == nullptr || !links_.source->HasGraph()) return kFail;
    const QString name = links_.grabLevel->NextName();

    // 97 % and more: the new picture might not fit.
    if (const auto status = memory_(); status && status->load >= kMemoryLoadRefusingGrabs) {
        return msg::kNotEnoughMemory;
    }
    // The adjustment element averages the last Denoise frames: let fresh
    // ones arrive.
    WaitForFreshFrames();

    const QString base = Folder() + name;
    const bool camera = IsCameraStill();
    PendingPicture taken;
    if (const Result result = StartPicture(base, camera, progress, taken); result != kOk)
        return result;

    // Until the frame's file is safe, the item and its cells are made but
    // not announced, and undone should the write fail: a write that failed
    // leaves no file under the name.
    CNode* item = links_.media->AddMediaFile(kTypeImage, taken.path);
    if (item == nullptr) return kFail;
    links_.media->RecomputeSummaries();
    if (camera) OrientCameraJpeg(taken.path);

    const int count = exposures > 0 ? exposures : links_.settings->Get(DefTiming);
    auto place = [&] {
        for (int i = 0; i < count; ++i)
            links_.sheet->PlaceItem(item);
        links_.sheet->Normalise();
        links_.sheet->RecomputeSummaries();
    };
    // The sheet with the new cells becomes the newest snapshot once the
    // picture is safe, before anyone is told: a crash from then on keeps
    // the grab. It is written while the picture still is. A snapshot the
    // disk refused does not undo the grab (the image is on disk).
    const int frameBefore = links_.sheet->CurrentFrame();
    CUndo::PreparedEdit snapshot;
    if (links_.undo != nullptr) {
        snapshot = links_.undo->PrepareDurableEdit(*links_.sheet, place);
    } else {
        place();
    }
    auto failed = [&](Result result) {
        if (links_.undo != nullptr) links_.undo->AbandonDurableEdit(snapshot);
        RemoveItem(item);
        links_.sheet->RefreshNamesFromMedia(*links_.media);
        links_.sheet->SetCurrentFrame(frameBefore);
        links_.sheet->RecomputeSummaries();
        return result;
    };
    if (const Result written = WritePicture(taken); written != kOk) return failed(written);
    // Without a view the picture is checked in its file.
    MadePicture& made = taken.Made();
    if (!PictureLoaded(item, std::move(made.texture))) return failed(msg::kNotEnoughMemory);
    FinishPicture(taken);
    if (links_.undo != nullptr) links_.undo->CommitDurableEdit(snapshot);
    links_.title->SetMark(QStringLiteral("*"));
    if (links_.sounds != nullptr) {
        links_.sounds->PlayGrabSound(links_.settings->Get(GrabSound), item->name);
    }

    links_.grabLevel->AddImage(item);
    lastGrabbed_ = item;
    SelectForLightbox(item);
    if (links_.settings->Get(Lightbox) != kLightboxSelectImage) RecomposeOverlay();
    Send(cmd::kMediaShowLastAdded);
    Send(cmd::kEditorGoToCurrent);
    Repaint();
    return kOk;
}

void CGrabber::SelectForLightbox(CNode* item) {
    CNode* level = ImageLevel();
    if (level == nullptr) return;
    switch (links_.settings->Get(Lightbox)) {
        case kLightboxRotoscope:
            // Onto the next picture to trace; the last one stays.
            if (CNode* selected = SingleSelectedImage()) {
                const int next = level->children->indexOf(selected) + 1;
                if (next < level->children->size()) {
                    selected->Unselect();
                    level->children->at(next)->Select();
                }
            }
            break;
        case kLightboxSelectImage:
            break;
        default:
            if (!IsLooping()) links_.media->UnselectAllInLevel(level);
            item->Select();
            break;
    }
    links_.media->RecomputeSummaries();
}

Result CGrabber::Regrab(IProgress* progress) {
    if (links_.source == nullptr || !links_.source->HasGraph()) return kFail;
    CNode* item = SingleSelectedImage();
    if (item == nullptr) return kFail;
    WaitForFreshFrames();

    const QString base = Folder() + item->name;
    const bool camera = IsCameraStill();
    PendingPicture taken;
    if (const Result result = StartPicture(base, camera, progress, taken); result != kOk)
        return result;
    if (const Result result = FinishPicture(taken); result != kOk) return result;
    const QString path = taken.path;
    DecodedImage texture = std::move(taken.Made().texture);
    item->imageInfo->path = path;

    links_.title->SetMark(QStringLiteral("*"));
    if (camera) OrientCameraJpeg(path);
    if (links_.display != nullptr) links_.display->LoadPendingImages(false);
    if (links_.sounds != nullptr) {
        links_.sounds->PlayGrabSound(links_.settings->Get(GrabSound), item->name);
    }
    item->flags &= ~kFlagLoadFailed;
    // The new frame's texture at once; else the loader reads the new file
    // when it comes to the item again.
    if (texture.result != kOk || !links_.display->SetTexture(*item, std::move(texture))) {
        item->texture = QImage();
        item->imageInfo->textureWidth = 0;
        item->imageInfo->textureHeight = 0;
    }
    RecomposeOverlay();
    Repaint();
    return kOk;
}

// ---- browsing and looping

void CGrabber::SetShown(CNode* item) {
    shown_ = item;
    if (CNode* level = ImageLevel()) {
        level->summary->shownPosition = item != nullptr ? level->children->indexOf(item) : -1;
    }
}

void CGrabber::ShowPrev() {
    const CNode* level = ImageLevel();
    if (level == nullptr || level->children->empty()) return;
    const int at = InImageLevel(shown_) ? level->children->indexOf(shown_) : -1;
    const int previous = at < 0 ? level->children->size() - 1 : at - 1;
    if (previous < 0) return;
    CNode* item = level->children->at(previous);
    if (item->texture.isNull()) return;
    SetShown(item);
    Repaint();
}

void CGrabber::ShowNext() {
    const CNode* level = ImageLevel();
    if (level == nullptr || !InImageLevel(shown_)) return;
    const int next = level->children->indexOf(shown_) + 1;
    SetShown(next < level->children->size() ? level->children->at(next) : nullptr);
    Repaint();
}

void CGrabber::ForgetShownImageIfGone() {
    if (shown_ == nullptr || InImageLevel(shown_)) return;
    shown_ = nullptr;
    if (CNode* level = ImageLevel()) level->summary->shownPosition = -1;
    Repaint();
}

Result CGrabber::ToggleLoop() {
    SetShown(nullptr);
    Result result = kOk;
    const CNode* level = ImageLevel();
    if (!IsLooping() && (level == nullptr || CountSelected(*level) == 0)) {
        result = msg::kSelectImagesToLoop;
    }
    if (IsLooping()) {
        loopTimer_.stop();
    } else {
        loopTimer_.start();
    }
    RecomposeOverlay();
    if (IsLooping()) {
        LoopTick();
    } else {
        Repaint();
    }
    return result;
}

void CGrabber::StopLoop() {
    if (!IsLooping()) return;
    loopTimer_.stop();
    SetShown(nullptr);
    RecomposeOverlay();
    Repaint();
}

void CGrabber::LoopTick() {
    const CNode* level = ImageLevel();
    if (level == nullptr) {
        loopTimer_.stop();
        shown_ = nullptr;
        Repaint();
        return;
    }
    const int from = InImageLevel(shown_) ? level->children->indexOf(shown_) + 1 : 0;
    CNode* next = nullptr;
    for (int i = from; i < level->children->size() && next == nullptr; ++i) {
        if (level->children->at(i)->IsSelected()) next = level->children->at(i);
    }
    // None left: the live video for one tick, then round again.
    SetShown(next);
    Repaint();
}

void CGrabber::RefreshGrabLevel() {
    links_.grabLevel->TakeLevel(ImageName(links_.grabLevel->Name(), 1));
}

// ---- the lightbox overlay

void CGrabber::SetOverlay(const QImage& overlay) {
    overlay_ = overlay;
    links_.source->SetOverlay(overlay);
}

void CGrabber::Remember(const QString& path, const QImage& image) {
    if (image.isNull()) return;
    const QFileInfo file(path);
    std::erase_if(pictures_, [&](const CachedPicture& p) { return p.path == path; });
    pictures_.push_front({path, file.lastModified(), file.size(), image});
    while (pictures_.size() > kPicturesKept)
        pictures_.pop_back();
}

// The picture of an image file as the display would show it (its ".lvw"
// companion when the preference says so). The last few are kept, so that
// the overlay of a grab just made decodes nothing.
QImage CGrabber::LoadPicture(const CNode* item) {
    if (item == nullptr || !item->imageInfo) return {};
    const QString path = GetDisplayPath(item->imageInfo->path, *links_.settings);
    const QFileInfo file(path);
    if (!file.isFile()) return {};
    for (const CachedPicture& picture : pictures_) {
        if (picture.path == path && picture.modified == file.lastModified() &&
            picture.size == file.size()) {
            return picture.image;
        }
    }
    QImageReader reader(path);
    const QImage image = reader.read();
    Remember(path, image);
    return image;
}

void CGrabber::RecomposeOverlay() {
    if (links_.source == nullptr) return;
    if (!links_.source->IsVideoPresent() || IsLooping()) {
        SetOverlay({});
        return;
    }
    switch (links_.settings->Get(Lightbox)) {
        case kLightboxLastGrabbed:
            // Handed over as it is: the source fits it to the frame.
            SetOverlay(InImageLevel(lastGrabbed_) ? LoadPicture(lastGrabbed_) : QImage());
            return;
        case kLightboxLastThree: {
            const std::vector<CNode*>& grabbed = links_.grabLevel->Images();
            const int n = static_cast<int>(grabbed.size());
            if (n == 0) {
                SetOverlay({});
                return;
            }
            const QRect frame = links_.source->GetFrameRect();
            if (frame.isEmpty()) return;
            QImage blend(frame.size(), QImage::Format_RGB32);
            blend.fill(Qt::black);
            QPainter painter(&blend);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            // The oldest copied, the two newer laid over at about half: the
            // newest weighs a half, the others a quarter each. An image
            // that is gone or unreadable is skipped, but for the newest.
            auto draw = [&](int index, qreal opacity) {
                const CNode* item = grabbed[static_cast<std::size_t>(index)];
                const QImage picture = InImageLevel(item) ? LoadPicture(item) : QImage();
                if (picture.isNull()) return false;
                painter.setOpacity(opacity);
                painter.drawImage(blend.rect(), picture);
                return true;
            };
            draw(std::max(0, n - 3), 1.0);
            if (n >= 2) draw(n - 2, kBlendAlpha);
            const bool newest = draw(n - 1, kBlendAlpha);
            painter.end();
            SetOverlay(newest ? blend : QImage());
            return;
        }
        case kLightboxSelectImage:
        case kLightboxRotoscope:
            SetOverlay(LoadPicture(SingleSelectedImage()));
            return;
        case kLightboxOff:
        default:
            SetOverlay({});
            return;
    }
}

// ---- memory

int CGrabber::EstimateFreeImages(const QRect& videoRect) const {
    QSize size = videoRect.size();
    const QRect grab = links_.source != nullptr ? links_.source->GetGrabSize() : QRect();
    if (!grab.isEmpty() && grab.width() < size.width()) size = grab.size();
    if (const CNode* selected = SingleSelectedImage();
        selected != nullptr && !selected->texture.isNull()) {
        size = QSize(selected->imageInfo->imageWidth, selected->imageInfo->imageHeight);
    }
    const auto status = memory_();
    if (!status || status->load >= kMemoryLoadWithoutRoom) return 0;
    int bits = links_.display != nullptr ? links_.display->BitsPerPixel() : 0;
    if (bits <= 0) bits = 32;
    const std::uint64_t bytes = static_cast<std::uint64_t>(bits / 8) *
                                static_cast<std::uint64_t>(std::max(0, size.width())) *
                                static_cast<std::uint64_t>(std::max(0, size.height()));
    if (bytes == 0) return 0;
    const std::uint64_t images = status->availableBytes / bytes * 95 / 100;
    return static_cast<int>(std::min<std::uint64_t>(images, 0x7fffffff));
}

// ---- telling others

void CGrabber::Repaint() {
    if (repaint_) repaint_();
}

void CGrabber::Send(int command) {
    if (links_.commands != nullptr) links_.commands->SendCommand(command);
}

}  // namespace kolvane
