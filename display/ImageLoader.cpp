#include "display/ImageLoader.h"

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"

namespace kolvane {
namespace {

class BusyGuard {
  public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

  private:
    bool& flag_;
};

// Textures of a few MB come and go with the budget. Past the first one
// freed, the C library would serve them from its heaps, where a released
// texture stays resident as a hole between others: they are taken from the
// system each time, so that released memory goes back at once. The decoding
// workers share two heaps instead of one each, which otherwise keep a few
// hundred MB of freed decode buffers resident between them.
void ReturnFreedPictureMemory() {
    constexpr int kThreshold = 1024 * 1024;
    constexpr int kHeaps = 2;
    [[maybe_unused]] static const bool once =
        mallopt(M_MMAP_THRESHOLD, kThreshold) == 1 && mallopt(M_ARENA_MAX, kHeaps) == 1;
}

bool Usable(const RenderTarget& target) {
    return target.size.isValid() && !target.size.isEmpty();
}

std::vector<CNode*> ImageItems(const CMdiaList& media) {
    std::vector<CNode*> items;
    const CNode* level = media.ImageLevel();
    if (level == nullptr) return items;
    for (CNode* item : *level->children) {
        if (item->imageInfo) items.push_back(item);
    }
    return items;
}

bool StillListed(const CMdiaList& media, const CNode* item) {
    const CNode* level = media.ImageLevel();
    return level != nullptr && level->children->indexOf(item) >= 0;
}

}  // namespace

CImageLoader::CImageLoader(const CSettings& settings, CMdiaList& media)
    : settings_(settings),
      media_(media),
      clock_([] { return std::chrono::steady_clock::now(); }),
      decoder_([](const QString& path, const RenderTarget& target) {
          return DecodeImage(path, target);
      }) {
    ReturnFreedPictureMemory();
    SetWorkerCount(QThread::idealThreadCount());
}

CImageLoader::~CImageLoader() {
    pool_.clear();
    pool_.waitForDone();
}

void CImageLoader::SetWorkerCount(int count) {
    workers_ = std::max(0, count);
    pool_.setMaxThreadCount(std::max(1, workers_));
}

void CImageLoader::Attach(CNode& item, DecodedImage decoded) {
    CImageInfo& info = *item.imageInfo;
    info.imageWidth = decoded.imageSize.width();
    info.imageHeight = decoded.imageSize.height();
    info.textureWidth = decoded.texture.width();
    info.textureHeight = decoded.texture.height();
    item.texture = std::move(decoded.texture);
    cache_.SetThumbnail(item, std::move(decoded.thumbnail));
    cache_.Admit(item);
    if (!cache_.HasRoomFor(0)) cache_.Enforce(ListedItems(), &item);
}

std::int64_t CImageLoader::TextureEstimate(const RenderTarget& target) const {
    // Before any texture is known, the largest one a target allows.
    if (cache_.TypicalTextureBytes() > 0) return cache_.TypicalTextureBytes();
    return std::max<std::int64_t>(1, std::int64_t{target.size.width()} * target.size.height() * 4);
}

std::unordered_set<const CNode*> CImageLoader::ListedItems() const {
    const std::vector<CNode*> items = ImageItems(media_);
    return {items.begin(), items.end()};
}

void CImageLoader::SetCacheBudget(std::int64_t bytes) {
    cache_.SetBudget(bytes);
    cache_.Enforce(ListedItems());
}

CImageLoader::JobKey CImageLoader::KeyFor(const CNode& item, const RenderTarget& target) const {
    return {GetDisplayPath(item.imageInfo->path, settings_), target};
}

DecodedImage CImageLoader::Decode(const JobKey& key, bool thumbnail) const {
    try {
        DecodedImage decoded = decoder_(key.path, key.target);
        if (thumbnail && decoded.result == kOk && decoded.thumbnail.isNull())
            decoded.thumbnail = CPictureCache::MakeThumbnail(decoded.texture);
        return decoded;
    } catch (const std::bad_alloc&) {
        DecodedImage failed;
        failed.result = 1;
        failed.retry = true;
        return failed;
    }
}

bool CImageLoader::IsPending(const CNode& item, std::chrono::steady_clock::time_point now) const {
    if (!item.texture.isNull() || (item.flags & kFlagLoadFailed) != 0 || !item.imageInfo) {
        return false;
    }
    const auto retry = retries_.find(&item);
    return retry == retries_.end() || retry->second.path != item.imageInfo->path ||
           retry->second.due <= now;
}

std::vector<CNode*> CImageLoader::PendingItems() const {
    const auto now = clock_();
    std::vector<CNode*> pending = ImageItems(media_);
    std::erase_if(pending, [&](const CNode* item) { return !IsPending(*item, now); });
    return pending;
}

void CImageLoader::Submit(CNode* item, const RenderTarget& target, bool urgent) {
    JobKey key = KeyFor(*item, target);
    const auto found = jobs_.find(item);
    if (found != jobs_.end() && found->second.key == key) {
        if (!urgent || workers_ == 0) return;
        // Waiting behind a queue of read-ahead would stall the caller.
        int queued = kQueued;
        if (!found->second.state->compare_exchange_strong(queued, kCalledOff)) return;
    }

    auto state = std::make_shared<std::atomic<int>>(kQueued);
    std::shared_future<DecodedImage> result = Start(key, true, state, urgent);
    jobs_[item] = Job{std::move(key), std::move(result), std::move(state)};
}

std::shared_future<DecodedImage> CImageLoader::Start(JobKey key, bool thumbnail,
                                                     std::shared_ptr<std::atomic<int>> state,
                                                     bool urgent) {
    if (workers_ == 0) {
        return std::async(std::launch::deferred,
                          [this, key, thumbnail] { return Decode(key, thumbnail); });
    }
    auto promise = std::make_shared<std::promise<DecodedImage>>();
    std::shared_future<DecodedImage> result = promise->get_future().share();
    pool_.start(
        [this, promise, key, thumbnail, state] {
            int queued = kQueued;
            if (state && !state->compare_exchange_strong(queued, kStarted)) {
                promise->set_value(DecodedImage{});
                return;
            }
            promise->set_value(Decode(key, thumbnail));
        },
        urgent ? 1 : 0);
    return result;
}

void CImageLoader::CallOff(const Job& job) {
    int queued = kQueued;
    job.state->compare_exchange_strong(queued, kCalledOff);
}

std::shared_future<DecodedImage> CImageLoader::DecodeAside(const CNode& item,
                                                           const RenderTarget& target) {
    if (!item.imageInfo || !Usable(target)) {
        std::promise<DecodedImage> none;
        none.set_value(DecodedImage{});
        return none.get_future().share();
    }
    return Start(KeyFor(item, target), false);
}

DecodedImage CImageLoader::Collect(CNode* item, const RenderTarget& target, bool urgent) {
    Submit(item, target, urgent);
    const auto found = jobs_.find(item);
    std::shared_future<DecodedImage> result = std::move(found->second.result);
    jobs_.erase(found);
    return result.get();
}

bool CImageLoader::Finish(CNode& item, DecodedImage decoded) {
    if (decoded.result == kOk) {
        Attach(item, std::move(decoded));
        retries_.erase(&item);
        return true;
    }
    RetryState& state = retries_[&item];
    if (state.path != item.imageInfo->path) state = RetryState{item.imageInfo->path, 0, {}};
    ++state.failures;
    if (!decoded.retry || state.failures >= kMaxAttempts) {
        item.flags |= kFlagLoadFailed;
        retries_.erase(&item);
        return false;
    }
    state.due = clock_() + kRetryDelay;
    if (scheduler_) scheduler_(kRetryDelay);
    return false;
}

void CImageLoader::DropJobsExcept(const std::vector<CNode*>& keep) {
    if (jobs_.empty()) return;
    const std::unordered_set<const CNode*> kept(keep.begin(), keep.end());
    std::erase_if(jobs_, [&](const auto& entry) {
        if (kept.contains(entry.first)) return false;
        CallOff(entry.second);
        return true;
    });
}

void CImageLoader::ForgetRetriesOfOthers() {
    if (retries_.empty()) return;
    const std::vector<CNode*> items = ImageItems(media_);
    const std::unordered_set<const CNode*> listed(items.begin(), items.end());
    std::erase_if(retries_, [&](const auto& entry) {
        return !listed.contains(entry.first) || entry.second.path != entry.first->imageInfo->path;
    });
}

Result CImageLoader::LoadImage(CNode& item, const RenderTarget& target) {
    if (!item.imageInfo) return kFail;
    if (!Usable(target)) return 1;
    DecodedImage decoded = Decode(KeyFor(item, target));
    const Result result = decoded.result;
    if (result == kOk) {
        Attach(item, std::move(decoded));
        retries_.erase(&item);
    }
    return result;
}

Result CImageLoader::SetTexture(CNode& item, DecodedImage made, const RenderTarget& target) {
    if (!item.imageInfo) return kFail;
    if (KeyFor(item, target).path != item.imageInfo->path) return LoadImage(item, target);
    if (made.result != kOk) return made.result;
    if (made.thumbnail.isNull()) made.thumbnail = CPictureCache::MakeThumbnail(made.texture);
    jobs_.erase(&item);  // a decode queued for the old picture
    Attach(item, std::move(made));
    retries_.erase(&item);
    return kOk;
}

bool CImageLoader::LoadPendingImages(bool all, const RenderTarget& target) {
    if (busy_ || !Usable(target)) return false;
    BusyGuard guard(busy_);
    ForgetRetriesOfOthers();
    cache_.Prune(ListedItems());
    std::vector<CNode*> pending = PendingItems();
    // Beyond the budget pictures are loaded when they are shown: loading
    // here would only release others, and the idle pass would never end.
    const std::int64_t room = std::max<std::int64_t>(0, cache_.Budget() - cache_.Bytes());
    const auto fits = static_cast<std::size_t>(room / TextureEstimate(target));
    DropJobsExcept(pending);  // read-ahead of pending items goes on
    if (pending.size() > fits) pending.resize(fits);

    if (all) {
        for (CNode* item : pending)
            Submit(item, target);
        for (CNode* item : pending)
            Finish(*item, Collect(item, target));
        return false;
    }
    // The workers decode the next items while this one is attached.
    const std::size_t window = static_cast<std::size_t>(std::max(1, workers_));
    for (std::size_t i = 0; i < pending.size(); ++i) {
        for (std::size_t j = i; j < std::min(pending.size(), i + window); ++j) {
            Submit(pending[j], target);
        }
        if (Finish(*pending[i], Collect(pending[i], target))) return true;
    }
    return false;
}

void CImageLoader::ReloadAllImages(const RenderTarget& target,
                                   const std::function<bool(int)>& step) {
    if (busy_ || !Usable(target)) return;
    BusyGuard guard(busy_);
    const std::vector<CNode*> items = ImageItems(media_);
    for (CNode* item : items)
        Submit(item, target);
    for (std::size_t i = 0; i < items.size(); ++i) {
        CNode* item = items[i];
        // The progress box pumps events: the list may have changed meanwhile.
        if (StillListed(media_, item)) {
            DecodedImage decoded = Collect(item, target);
            if (decoded.result == kOk) {
                Attach(*item, std::move(decoded));
                retries_.erase(item);
            }
        }
        if (step && !step(static_cast<int>(i) + 1)) break;
    }
    DropJobsExcept({});
}

void CImageLoader::ReleaseTextures() {
    for (CNode* item : ImageItems(media_))
        item->texture = QImage();
    cache_.Clear();
}

void CImageLoader::ReadAhead(const std::vector<CNode*>& order, const RenderTarget& target) {
    if (busy_ || !Usable(target)) return;
    const auto now = clock_();
    const std::int64_t each = TextureEstimate(target);
    // The window is what the budget holds; the pictures in it are kept from
    // being released by the ones decoded for it.
    const std::int64_t window = std::max<std::int64_t>(1, cache_.Budget() / each);
    std::vector<CNode*> wanted;
    std::int64_t counted = 0;
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        cache_.Keep(**it);
    for (CNode* item : order) {
        if (counted >= window) break;
        ++counted;
        // A finished decode goes into the cache now: held here it would be
        // memory beside the budget.
        const auto job = jobs_.find(item);
        if (job != jobs_.end() && job->second.key == KeyFor(*item, target) &&
            job->second.result.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
            workers_ > 0) {
            Finish(*item, Collect(item, target));
        }
        if (IsPending(*item, now)) wanted.push_back(item);
    }
    // Soonest first: the pool runs jobs in the order they were queued.
    DropJobsExcept(wanted);
    for (CNode* item : wanted)
        Submit(item, target);
}

std::shared_future<bool> CImageLoader::DecodeAsideI420(const CNode& item, QSize size,
                                                       const I420Planes& planes) {
    if (!item.imageInfo) {
        std::promise<bool> none;
        none.set_value(false);
        return none.get_future().share();
    }
    auto job = [path = GetDisplayPath(item.imageInfo->path, settings_), size, planes] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && DecodeJpegI420(file.readAll(), size, planes);
    };
    if (workers_ == 0) return std::async(std::launch::deferred, job).share();
    auto promise = std::make_shared<std::promise<bool>>();
    std::shared_future<bool> result = promise->get_future().share();
    pool_.start([promise, job] { promise->set_value(job()); });
    return result;
}

bool CImageLoader::JobsFinished() const {
    return std::all_of(jobs_.begin(), jobs_.end(), [](const auto& entry) {
        return entry.second.result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
}

bool CImageLoader::TakeReady(CNode& item, const RenderTarget& target) {
    cache_.Wanted(item);
    if (!item.texture.isNull()) return true;
    const auto found = jobs_.find(&item);
    if (found == jobs_.end() || !(found->second.key == KeyFor(item, target))) return false;
    if (workers_ > 0 &&
        found->second.result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return false;
    }
    return Finish(item, Collect(&item, target));
}

bool CImageLoader::LoadNow(CNode& item, const RenderTarget& target) {
    cache_.Wanted(item);
    if (!item.texture.isNull()) return true;
    if (busy_ || !Usable(target) || !IsPending(item, clock_())) return false;
    BusyGuard guard(busy_);
    return Finish(item, Collect(&item, target, true));
}

int CImageLoader::ImageCount() const {
    return static_cast<int>(ImageItems(media_).size());
}

bool CImageLoader::AnyCompanionExists() const {
    const std::vector<CNode*> items = ImageItems(media_);
    return std::any_of(items.begin(), items.end(), [](const CNode* item) {
        return QFileInfo::exists(CompanionPath(item->imageInfo->path));
    });
}

}  // namespace kolvane
