#include "display/PictureCache.h"

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

#include "display/ImageScale.h"
#include "model/MediaInfo.h"
#include "model/Node.h"

namespace kolvane {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;
constexpr std::int64_t kMaxDefault = 4096 * kMiB;
constexpr std::int64_t kFallback = 1024 * kMiB;  // when the machine does not say

}  // namespace

std::int64_t CPictureCache::DefaultBudget() {
    if (const char* text = std::getenv("KOLVANE_PICTURE_CACHE_MB"); text != nullptr) {
        char* end = nullptr;
        const long long mib = std::strtoll(text, &end, 10);
        if (end != text && *end == '\0' && mib >= 0 && mib <= 1024ll * 1024)
            return static_cast<std::int64_t>(mib) * kMiB;
    }
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kFallback;
    return std::min(static_cast<std::int64_t>(pages) * pageSize / 4, kMaxDefault);
}

CPictureCache::CPictureCache(std::int64_t budget) : budget_(std::max<std::int64_t>(0, budget)) {}

PictureCacheStatistics CPictureCache::Statistics() const {
    return {bytes_, budget_, Textures(), hits_, misses_, thumbnailBytes_};
}

void CPictureCache::Admit(CNode& item) {
    const auto found = entries_.find(&item);
    if (found != entries_.end()) Remove(found);
    if (item.texture.isNull()) return;
    const std::int64_t bytes = item.texture.sizeInBytes();
    order_.push_front(&item);
    entries_.emplace(&item, Entry{order_.begin(), bytes, item.texture.cacheKey()});
    bytes_ += bytes;
    typical_ = bytes;
}

void CPictureCache::Keep(const CNode& item) {
    const auto found = entries_.find(&item);
    if (found == entries_.end()) return;
    order_.splice(order_.begin(), order_, found->second.place);
}

void CPictureCache::Wanted(const CNode& item) {
    if (!item.texture.isNull()) {
        ++hits_;
    } else if (item.imageInfo && (item.flags & kFlagLoadFailed) == 0) {
        ++misses_;
    }
}

void CPictureCache::Enforce(const std::unordered_set<const CNode*>& listed, const CNode* keep) {
    if (bytes_ <= budget_) return;
    const std::int64_t goal = LowWater();
    auto place = order_.end();
    while (bytes_ > goal && place != order_.begin()) {
        --place;
        const CNode* node = *place;
        if (node == keep) continue;
        const auto entry = entries_.find(node);
        const std::int64_t key = entry->second.key;
        ++place;  // Remove erases the list element `place` pointed before
        Remove(entry);
        if (listed.contains(node)) {
            auto* item = const_cast<CNode*>(node);
            if (item->texture.cacheKey() == key) item->texture = QImage();
        }
    }
}

void CPictureCache::Prune(const std::unordered_set<const CNode*>& listed) {
    for (auto entry = entries_.begin(); entry != entries_.end();) {
        const auto next = std::next(entry);
        if (!listed.contains(entry->first)) Remove(entry);
        entry = next;
    }
    std::erase_if(thumbnails_, [&](const auto& thumb) {
        if (listed.contains(thumb.first)) return false;
        thumbnailBytes_ -= thumb.second.image.sizeInBytes();
        return true;
    });
}

QImage CPictureCache::MakeThumbnail(const QImage& texture) {
    if (texture.isNull()) return {};
    if (texture.width() <= kThumbnailBox.width() && texture.height() <= kThumbnailBox.height())
        return texture.copy();
    return ScaleImage(texture,
                      texture.size().scaled(kThumbnailBox, Qt::KeepAspectRatio).expandedTo({1, 1}));
}

void CPictureCache::SetThumbnail(const CNode& item, QImage thumbnail) {
    if (!item.imageInfo || thumbnail.isNull()) return;
    Thumb& thumb = thumbnails_[&item];
    thumbnailBytes_ -= thumb.image.sizeInBytes();
    thumb = Thumb{item.imageInfo->path, std::move(thumbnail)};
    thumbnailBytes_ += thumb.image.sizeInBytes();
}

QImage CPictureCache::Thumbnail(const CNode& item) const {
    const auto found = thumbnails_.find(&item);
    if (found != thumbnails_.end() && item.imageInfo && found->second.path == item.imageInfo->path)
        return found->second.image;
    return item.texture;
}

void CPictureCache::Clear() {
    entries_.clear();
    order_.clear();
    bytes_ = 0;
}

void CPictureCache::Remove(std::unordered_map<const CNode*, Entry>::iterator entry) {
    bytes_ -= entry->second.bytes;
    order_.erase(entry->second.place);
    entries_.erase(entry);
}

}  // namespace kolvane
