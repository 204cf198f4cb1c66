#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QSize>
#include <QString>
#include <QThreadPool>

#include "display/ImageFiles.h"
#include "display/JpegDecoder.h"
#include "display/PictureCache.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CMdiaList;
class CNode;
class CSettings;

// Turns the image items of the media list into textures. Files are decoded
// on worker threads; textures are attached, and failures flagged, only on the
// user-interface thread, in list order.
//
// A failed attempt is retried only when the file exists but could not be read
// (or no memory was left for the texture): the retry waits at least
// kRetryDelay and never blocks; the third failure sets the load-failed flag.
// A missing or undecodable file is flagged at once.
class CImageLoader {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using RetryScheduler = std::function<void(std::chrono::milliseconds)>;
    // Reads one file for a render target; called on worker threads.
    using Decoder = std::function<DecodedImage(const QString& path, const RenderTarget& target)>;

    static constexpr int kMaxAttempts = 3;
    static constexpr std::chrono::milliseconds kRetryDelay{250};

    CImageLoader(const CSettings& settings, CMdiaList& media);
    // Drops queued decodes and waits for running ones.
    ~CImageLoader();
    CImageLoader(const CImageLoader&) = delete;
    CImageLoader& operator=(const CImageLoader&) = delete;

    // Loads (or reloads) one item's texture: kOk when it holds a new texture,
    // 1 when the file was decoded but no texture could be made, kFail when the
    // file could not be read. On failure the item keeps its old texture.
    Result LoadImage(CNode& item, const RenderTarget& target);

    // Gives `item` a texture made from a picture already in memory (a grab's
    // frame, see TextureFromPicture) instead of decoding its file: kOk, or
    // as LoadImage when the picture is not what the item shows (a ".lvw"
    // companion shown instead): then its file is read. Once released by the
    // cache, the texture is loaded from the file again like any other.
    Result SetTexture(CNode& item, DecodedImage made, const RenderTarget& target);

    // Walks the image list in order and loads the items without a texture
    // that are not flagged load-failed and not waiting for a retry, while the
    // picture cache has room (a scene larger than the budget is loaded when
    // it is shown, not here). With `all` false it returns true as soon as one
    // item gained a texture; it returns false at the end of the list or of
    // the budget (always, with `all` true).
    bool LoadPendingImages(bool all, const RenderTarget& target);

    // Reloads every image of the list; `step` gets the count done after each
    // one and answers whether to go on. An image that fails keeps its texture.
    void ReloadAllImages(const RenderTarget& target, const std::function<bool(int)>& step);
    int ImageCount() const;

    // Drops every image texture of the list (they become pending again).
    void ReleaseTextures();

    // The textures held, within a memory budget.
    const CPictureCache& Cache() const { return cache_; }
    CPictureCache& Cache() { return cache_; }
    // A new budget; a smaller one releases textures at once.
    void SetCacheBudget(std::int64_t bytes);

    // Read-ahead: `order` are the items to be shown next, soonest first. Their
    // pictures are queued for the workers, as many as the budget holds, and
    // those decoded meanwhile are put into the cache; jobs for items no
    // longer ahead are dropped (one no worker has started is not decoded at
    // all). Never waits.
    void ReadAhead(const std::vector<CNode*>& order, const RenderTarget& target);
    // Attaches `item`'s read-ahead picture if its decode has finished: true
    // when the item then has a texture. Never waits.
    bool TakeReady(CNode& item, const RenderTarget& target);
    // Loads `item` now if it has no texture and is not flagged: the decode
    // runs on a worker (when there are workers), ahead of queued read-ahead,
    // and this waits for it.
    // Stepping and a still frame use it; playback uses TakeReady. Both count
    // a hit or a miss of the cache.
    bool LoadNow(CNode& item, const RenderTarget& target);
    // Decodes `item`'s picture for `target` on a worker (on the calling
    // thread's wait without workers) and hands it back as it is: nothing is
    // attached, cached or counted, and no thumbnail is made. The movie
    // writer reads its full-size pictures ahead with it.
    std::shared_future<DecodedImage> DecodeAside(const CNode& item, const RenderTarget& target);
    // The same straight into the planes of an I420 frame of `size`, where
    // the file is a 4:2:0 JPEG of that size (DecodeJpegI420); false where it
    // is not, or cannot be read. The planes stay the caller's: they must
    // outlive the result.
    std::shared_future<bool> DecodeAsideI420(const CNode& item, QSize size,
                                             const I420Planes& planes);
    // Decodes queued or running, for tests and benchmarks.
    int JobCount() const { return static_cast<int>(jobs_.size()); }
    bool HasJob(const CNode& item) const { return jobs_.contains(&item); }
    // Whether every queued decode has finished (waiting to be taken).
    bool JobsFinished() const;

    // Whether any image has a ".lvw" companion beside it.
    bool AnyCompanionExists() const;

    // Told the delay after which a retry falls due, so that the caller can
    // come back then (an idle pass, a timer); none is needed otherwise.
    void SetRetryScheduler(RetryScheduler scheduler) { scheduler_ = std::move(scheduler); }
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    void SetDecoder(Decoder decoder) { decoder_ = std::move(decoder); }
    // 0 decodes on the calling thread (tests that count attempts use it).
    void SetWorkerCount(int count);
    int WorkerCount() const { return workers_; }

  private:
    struct JobKey {
        QString path;
        RenderTarget target;
        bool operator==(const JobKey& other) const {
            return path == other.path && target.size == other.target.size &&
                   target.format == other.target.format;
        }
    };
    // A job's worker task: queued, taken by a worker, or called off before.
    enum JobState : int { kQueued, kStarted, kCalledOff };
    struct Job {
        JobKey key;
        std::shared_future<DecodedImage> result;
        std::shared_ptr<std::atomic<int>> state;
    };
    struct RetryState {
        QString path;
        int failures = 0;
        std::chrono::steady_clock::time_point due;
    };

    JobKey KeyFor(const CNode& item, const RenderTarget& target) const;
    bool IsPending(const CNode& item, std::chrono::steady_clock::time_point now) const;
    std::vector<CNode*> PendingItems() const;
    // `urgent`: the caller waits for it, so it goes before queued jobs (a
    // queued job for the same picture is called off and queued again).
    void Submit(CNode* item, const RenderTarget& target, bool urgent = false);
    DecodedImage Collect(CNode* item, const RenderTarget& target, bool urgent = false);
    static void CallOff(const Job& job);
    DecodedImage Decode(const JobKey& key, bool thumbnail = true) const;
    // A decode on a worker; with `state`, one still queued can be called off.
    std::shared_future<DecodedImage> Start(JobKey key, bool thumbnail,
                                           std::shared_ptr<std::atomic<int>> state = nullptr,
                                           bool urgent = false);
    // Attaches a decode to `item`, or counts the failure; true on a texture.
    bool Finish(CNode& item, DecodedImage decoded);
    void DropJobsExcept(const std::vector<CNode*>& keep);
    void ForgetRetriesOfOthers();
    void Attach(CNode& item, DecodedImage decoded);
    std::unordered_set<const CNode*> ListedItems() const;
    std::int64_t TextureEstimate(const RenderTarget& target) const;

    const CSettings& settings_;
    CMdiaList& media_;
    Clock clock_;
    RetryScheduler scheduler_;
    Decoder decoder_;
    int workers_ = 0;
    QThreadPool pool_;
    std::unordered_map<const CNode*, Job> jobs_;
    std::unordered_map<const CNode*, RetryState> retries_;
    CPictureCache cache_;
    bool busy_ = false;  // a progress box may pump events in the middle of a walk
};

}  // namespace kolvane
