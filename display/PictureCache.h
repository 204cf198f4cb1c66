#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>
#include <unordered_set>

#include <QImage>
#include <QSize>
#include <QString>

namespace kolvane {

class CNode;

// What the picture cache holds and how often a drawn picture was there.
struct PictureCacheStatistics {
    std::int64_t bytes = 0;   // texture memory held now
    std::int64_t budget = 0;  // what it may hold
    int textures = 0;
    std::uint64_t hits = 0;           // drawn with its texture in memory
    std::uint64_t misses = 0;         // wanted but not loaded (not counting failed pictures)
    std::int64_t thumbnailBytes = 0;  // besides `bytes`: 9 KB a 16:9 picture
};

// Keeps the image textures of a scene within a memory budget: beyond it the
// least recently shown textures are released (the item becomes pending
// again and is loaded when needed). An item's image size and load-failed
// flag are on the item and stay whether its texture does or not.
//
// The cache never dereferences a node it was not handed in the same call:
// releasing goes through the set of items still listed, so an item removed
// from the scene meanwhile is only forgotten. User-interface thread only.
class CPictureCache {
  public:
    // A quarter of the machine's memory, at most 4 GiB;
    // KOLVANE_PICTURE_CACHE_MB (a whole number of MiB) overrides it.
    static std::int64_t DefaultBudget();

    explicit CPictureCache(std::int64_t budget = DefaultBudget());

    std::int64_t Budget() const { return budget_; }
    std::int64_t Bytes() const { return bytes_; }
    int Textures() const { return static_cast<int>(entries_.size()); }
    PictureCacheStatistics Statistics() const;
    // Whether `bytes` more fit without releasing anything.
    bool HasRoomFor(std::int64_t bytes) const { return bytes_ + bytes <= budget_; }
    // A typical texture's size (the last one admitted), for planning loads.
    std::int64_t TypicalTextureBytes() const { return typical_; }

    // `item` holds a new texture: it becomes the most recently shown.
    void Admit(CNode& item);
    // `item` is wanted for showing: a hit when it has its texture, a miss
    // when it has none and could have one (a failed picture counts neither).
    void Wanted(const CNode& item);
    // `item` is drawn: it becomes the most recently shown.
    void Shown(const CNode& item) { Keep(item); }
    // Makes `item` the most recently shown without counting (read-ahead
    // keeps its window from being released).
    void Keep(const CNode& item);
    // Releases least recently shown textures until the budget holds, never
    // `keep`. `listed` are the items that still exist. Once over, it goes
    // down to the low-water mark, so that the listed set (a walk of the
    // scene) is made once per many textures, not once per texture.
    void Enforce(const std::unordered_set<const CNode*>& listed, const CNode* keep = nullptr);
    std::int64_t LowWater() const { return budget_ - budget_ / 8; }
    void SetBudget(std::int64_t budget) { budget_ = budget < 0 ? 0 : budget; }
    // Forgets entries of items no longer listed (their memory went with them).
    void Prune(const std::unordered_set<const CNode*>& listed);
    // Every texture was dropped elsewhere (thumbnails stay: they do not
    // depend on the view's size).
    void Clear();

    // Thumbnails for the grids: made with each texture and kept when the
    // texture is released (counted apart from the budget: they are small and
    // never released while the item is listed). The texture itself
    // stands in for an item that has no thumbnail.
    static constexpr QSize kThumbnailBox{64, 48};
    static QImage MakeThumbnail(const QImage& texture);
    void SetThumbnail(const CNode& item, QImage thumbnail);
    QImage Thumbnail(const CNode& item) const;

  private:
    struct Entry {
        std::list<const CNode*>::iterator place;  // in order_, most recent first
        std::int64_t bytes = 0;
        std::int64_t key = 0;  // the texture's cacheKey: one replaced elsewhere is not released
    };
    void Remove(std::unordered_map<const CNode*, Entry>::iterator entry);

    std::int64_t budget_;
    std::int64_t bytes_ = 0;
    std::int64_t typical_ = 0;
    std::uint64_t hits_ = 0;
    std::uint64_t misses_ = 0;
    std::list<const CNode*> order_;
    std::unordered_map<const CNode*, Entry> entries_;
    struct Thumb {
        QString path;  // a node made anew at the address of a removed one is another picture
        QImage image;
    };
    std::unordered_map<const CNode*, Thumb> thumbnails_;
    std::int64_t thumbnailBytes_ = 0;
};

}  // namespace kolvane
