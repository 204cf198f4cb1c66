// The camera connection against the simulated body: live view, settings,
// stills with progress and cancel, and the faults bodies show.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "filters/quorrel/CameraCodes.h"
#include "filters/quorrel/CameraConnection.h"
#include "filters/quorrel/IQuorrel.h"
#include "filters/quorrel/JpegCodec.h"
#include "filters/quorrel/SimulatedCamera.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane::quorrel {
namespace {

namespace fs = std::filesystem;

CSimulatedCameraConfig SmallBody() {
    CSimulatedCameraConfig config;
    config.width = 160;
    config.height = 106;
    config.stillWidth = 300;
    config.stillHeight = 200;
    config.framesPerSecond = 0;
    return config;
}

CConnectionLimits QuickLimits() {
    CConnectionLimits limits;
    limits.previewRetryMs = 1;
    limits.reopenIntervalMs = 0;
    limits.fileWaitMs = 5000;
    return limits;
}

class CameraConnection : public ::testing::Test {
  protected:
    void Open(CSimulatedCameraConfig config = SmallBody(),
              CConnectionLimits limits = QuickLimits()) {
        m_body = std::make_shared<CSimulatedBody>(std::move(config));
        m_connection =
            std::make_unique<CCameraConnection>(std::make_unique<CSimulatedCamera>(m_body), limits);
    }
    std::string Folder() {
        if (m_folder.empty()) m_folder = test::MakeTempDir("grab").toStdString();
        return m_folder;
    }
    std::set<std::string> FilesInFolder() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    // Queues and takes one picture; the progress value it ends with.
    int Shoot(const std::string& name) {
        std::atomic<int> progress{0};
        EXPECT_EQ(m_connection->QueuePicture(Folder() + "/" + name, &progress), kOk);
        for (int attempt = 0; attempt < 100 && progress.load() >= 0; ++attempt) {
            if (m_connection->TakeQueuedPicture() == 0) break;
        }
        return progress.load();
    }

    std::shared_ptr<CSimulatedBody> m_body;
    std::unique_ptr<CCameraConnection> m_connection;
    std::string m_folder;
};

TEST_F(CameraConnection, OpensTheCameraAndNamesItWithoutEos) {
    Open();
    EXPECT_TRUE(m_connection->HasCamera());
    EXPECT_EQ(m_connection->ProductName(), "Canon 550D");
    EXPECT_EQ(m_connection->CloseCamera(), kOk);
    EXPECT_FALSE(m_connection->HasCamera());
    EXPECT_EQ(m_connection->ProductName(), "") << "no name without a camera";
    EXPECT_EQ(m_connection->OpenCamera(), kOk);

    CSimulatedCameraConfig absent = SmallBody();
    absent.present = false;
    Open(absent);
    EXPECT_FALSE(m_connection->HasCamera());
    EXPECT_EQ(m_connection->OpenCamera(), kFail);
    std::vector<std::uint8_t> jpeg;
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kNoCamera);
    int value = 0;
    EXPECT_EQ(m_connection->GetSettings(&value, &value, &value, &value), kFail);
    EXPECT_EQ(m_connection->HalfPress(true), kFail);
}

TEST_F(CameraConnection, LiveViewFramesAreMovingJpegsOfTheLiveViewSize) {
    Open();
    CJpegCodec codec;
    std::vector<std::vector<std::uint8_t>> frames(3);
    for (auto& frame : frames) {
        ASSERT_EQ(m_connection->GetLiveViewFrame(&frame), LiveViewStatus::kFrame);
        int width = 0;
        int height = 0;
        ASSERT_TRUE(codec.ReadSize(frame.data(), frame.size(), &width, &height));
        EXPECT_EQ(width, 160);
        EXPECT_EQ(height, 106);
    }
    EXPECT_NE(frames[0], frames[1]);
    EXPECT_NE(frames[1], frames[2]);
}

TEST_F(CameraConnection, BusyLiveViewIsAskedAgainButNeverEndlessly) {
    CSimulatedCameraConfig config = SmallBody();
    config.busyPreviews = 3;
    Open(config);
    std::vector<std::uint8_t> jpeg;
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kFrame);

    CConnectionLimits limits = QuickLimits();
    limits.previewAttempts = 5;
    config.busyPreviews = 1000;
    Open(config, limits);
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kFailed);
    EXPECT_TRUE(m_connection->HasCamera()) << "busy is not gone";
    EXPECT_EQ(m_body->Previews(), 0);
}

TEST_F(CameraConnection, UnpluggedCameraIsReopenedWhenItReturns) {
    CSimulatedCameraConfig config = SmallBody();
    config.unplugAfterPreviews = 2;
    Open(config);
    std::vector<std::uint8_t> jpeg;
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kFrame);
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kFrame);
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kNoCamera);
    EXPECT_FALSE(m_connection->HasCamera());
    EXPECT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kNoCamera);
    std::atomic<int> progress{0};
    EXPECT_EQ(m_connection->QueuePicture(Folder() + "/x", &progress), kFail);

    m_body->Plug(200, 132);
    ASSERT_EQ(m_connection->GetLiveViewFrame(&jpeg), LiveViewStatus::kFrame);
    int width = 0;
    int height = 0;
    CJpegCodec codec;
    ASSERT_TRUE(codec.ReadSize(jpeg.data(), jpeg.size(), &width, &height));
    EXPECT_EQ(width, 200) << "the returning body may bring another size";
}

TEST_F(CameraConnection, SettingsRoundTripAndApertureBringsItsShutterSpeed) {
    Open();
    EXPECT_EQ(m_connection->SetSettings(2, 77, 64, 0), kOk);
    int whiteBalance = 0;
    int iso = 0;
    int aperture = 0;
    int quality = 0;
    ASSERT_EQ(m_connection->GetSettings(&whiteBalance, &iso, &aperture, &quality), kOk);
    EXPECT_EQ(whiteBalance, 2);
    EXPECT_EQ(iso, 77);
    EXPECT_EQ(aperture, 64);
    EXPECT_EQ(quality, kQualityLargeFine);
    EXPECT_EQ(m_body->Setting(CameraSetting::kShutterSpeed), 72) << "f/11 goes with 1/4 s";

    // Zeros leave the camera's own values; 254 leaves the quality alone.
    EXPECT_EQ(m_connection->SetSettings(0, 0, 0, 254), kOk);
    EXPECT_EQ(m_body->Setting(CameraSetting::kWhiteBalance), 2);
    EXPECT_EQ(m_body->Setting(CameraSetting::kImageQuality), kQualityLargeFine);

    EXPECT_EQ(m_connection->SaveSettings(), kOk);
    EXPECT_EQ(m_connection->SetSettings(8, 96, 48, 2), kOk);
    EXPECT_EQ(m_body->Setting(CameraSetting::kShutterSpeed), 88);
    EXPECT_EQ(m_body->Setting(CameraSetting::kImageQuality), kQualitySmallFine);
    EXPECT_EQ(m_connection->RestoreSettings(), kOk);
    EXPECT_EQ(m_body->Setting(CameraSetting::kWhiteBalance), 2);
    EXPECT_EQ(m_body->Setting(CameraSetting::kIso), 77);
    EXPECT_EQ(m_body->Setting(CameraSetting::kAperture), 64);
    EXPECT_EQ(m_body->Setting(CameraSetting::kShutterSpeed), 72);
    EXPECT_EQ(m_body->Setting(CameraSetting::kImageQuality), kQualityLargeFine);
}

TEST_F(CameraConnection, ShutterSpeedPairsWithAperture) {
    const std::pair<int, int> pairs[] = {{48, 88}, {56, 80}, {64, 72},
                                         {72, 64}, {80, 56}, {40, 40}};
    for (const auto& [aperture, shutter] : pairs) {
        EXPECT_EQ(ShutterForAperture(aperture), shutter) << aperture;
    }
}

TEST_F(CameraConnection, ImageSizeKeepsTheRawFileAndFallsBackOnBodiesWithoutTheSize) {
    CSimulatedCameraConfig config = SmallBody();
    config.refusedQualities = {kQualityMiddleFine, kQualityRawMiddleFine};
    Open(config);
    struct Case {
        int startQuality;
        int imageSize;
        int expected;
    };
    const Case cases[] = {
        {kQualityLargeFine, 2, kQualitySmallFine},
        {kQualityRawLargeFine, 2, kQualityRawSmallFine},
        {kQualityRawSmallFine, 0, kQualityRawLargeFine},
        {kQualityLargeFine, 1, kQualityMiddle1Fine},
        {kQualityRawLargeFine, 1, kQualityRawMiddle1Fine},
    };
    for (const Case& c : cases) {
        CSimulatedCamera direct(m_body);
        ASSERT_EQ(direct.Open(), CameraStatus::kOk);
        ASSERT_EQ(direct.SetSetting(CameraSetting::kImageQuality, c.startQuality),
                  CameraStatus::kOk);
        EXPECT_EQ(m_connection->SetSettings(0, 0, 0, c.imageSize), kOk);
        EXPECT_EQ(m_body->Setting(CameraSetting::kImageQuality), c.expected)
            << std::hex << c.startQuality << " size " << c.imageSize;
    }
}

TEST_F(CameraConnection, HalfPressIsSentOnlyOnChange) {
    Open();
    EXPECT_EQ(m_connection->HalfPress(true), kOk);
    EXPECT_TRUE(m_body->HalfPressed());
    m_body->Unplug();
    EXPECT_EQ(m_connection->HalfPress(true), kOk) << "already pressed: nothing is sent";
    m_body->Plug();
    EXPECT_EQ(m_connection->HalfPress(false), kOk);
    EXPECT_FALSE(m_body->HalfPressed());
}

TEST_F(CameraConnection, StillIsDownloadedUnderTheBasePathWithProgressTo100) {
    Open();
    std::atomic<int> progress{0};
    const std::string base = Folder() + "/walk 0001";
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1) << "nothing queued";
    ASSERT_EQ(m_connection->QueuePicture(base, &progress), kOk);
    std::atomic<int> other{0};
    EXPECT_EQ(m_connection->QueuePicture(Folder() + "/walk 0002", &other), 1);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 0);
    EXPECT_EQ(progress.load(), kQuorrelProgressDone);
    EXPECT_EQ(other.load(), 0) << "the refused request is never touched";
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"walk 0001.jpg"}));
    EXPECT_EQ(m_body->FilesOnCard(), 0u) << "downloaded files leave the camera's memory";
    int width = 0;
    int height = 0;
    ASSERT_TRUE(m_connection->LastStillSize(&width, &height));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 200);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1) << "the request is consumed";
}

TEST_F(CameraConnection, RawAndJpegArriveTogetherWithProgressOnlyForTheLast) {
    CSimulatedCameraConfig config = SmallBody();
    config.rawBytes = 2'500'000;
    Open(config);
    ASSERT_EQ(m_connection->SetSettings(0, 0, 0, 0), kOk);
    CSimulatedCamera direct(m_body);
    ASSERT_EQ(direct.Open(), CameraStatus::kOk);
    ASSERT_EQ(direct.SetSetting(CameraSetting::kImageQuality, kQualityRawLargeFine),
              CameraStatus::kOk);

    std::atomic<int> progress{0};
    std::vector<std::pair<std::string, int>> seen;
    m_body->SetReadHook(
        [&](const std::string& name, std::uint64_t) { seen.emplace_back(name, progress.load()); });
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/walk 0001", &progress), kOk);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 0);
    EXPECT_EQ(progress.load(), kQuorrelProgressDone);
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"walk 0001.cr2", "walk 0001.jpg"}));
    EXPECT_EQ(fs::file_size(Folder() + "/walk 0001.cr2"), 2'500'000u);

    ASSERT_FALSE(seen.empty());
    int rawReads = 0;
    for (const auto& [name, value] : seen) {
        if (name.ends_with(".CR2")) {
            ++rawReads;
            EXPECT_EQ(value, 0) << "no progress while the raw file comes";
        } else {
            EXPECT_LT(value, 100) << "100 only once everything is home";
        }
    }
    EXPECT_EQ(rawReads, 3) << "2.5 MB come in parts of 1 MB";
}

TEST_F(CameraConnection, FileOfExactlyOnePartIsReadOnce) {
    CSimulatedCameraConfig config = SmallBody();
    config.rawBytes = 1 << 20;
    Open(config);
    CSimulatedCamera direct(m_body);
    ASSERT_EQ(direct.Open(), CameraStatus::kOk);
    ASSERT_EQ(direct.SetSetting(CameraSetting::kImageQuality, kQualityRawOnly), CameraStatus::kOk);
    int reads = 0;
    m_body->SetReadHook([&](const std::string&, std::uint64_t) { ++reads; });
    EXPECT_EQ(Shoot("raw"), kQuorrelProgressDone);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"raw.cr2"}));
}

TEST_F(CameraConnection, CancelDuringTheDownloadLeavesNoFileAndKeepsAnEarlierPicture) {
    CSimulatedCameraConfig config = SmallBody();
    config.rawBytes = 2'500'000;
    Open(config);
    CSimulatedCamera direct(m_body);
    ASSERT_EQ(direct.Open(), CameraStatus::kOk);
    ASSERT_EQ(direct.SetSetting(CameraSetting::kImageQuality, kQualityRawLargeFine),
              CameraStatus::kOk);
    // A regrab over an earlier picture.
    { std::ofstream(Folder() + "/walk 0001.jpg") << "earlier"; }

    std::atomic<int> progress{0};
    m_body->SetReadHook([&](const std::string&, std::uint64_t offset) {
        if (offset >= (1u << 20)) progress.store(kQuorrelProgressCancel);
    });
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/walk 0001", &progress), kOk);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 0);
    EXPECT_EQ(progress.load(), kQuorrelProgressEnded);
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"walk 0001.jpg"}));
    std::ifstream earlier(Folder() + "/walk 0001.jpg");
    std::string text;
    earlier >> text;
    EXPECT_EQ(text, "earlier");
    EXPECT_TRUE(m_connection->HasCamera());
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1) << "the cancelled request is dropped";
}

TEST_F(CameraConnection, PictureRequestsThatCannotCompleteEndWithoutFiles) {
    struct Case {
        const char* what;
        std::int64_t cutAt;
        int cardDelayMs;
        int fileWaitMs;
        bool cameraStays;
    };
    const Case cases[] = {
        {"download cut off", 1000, 0, 5000, false},
        {"card slower than the wait", -1, 3000, 200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSimulatedCameraConfig config = SmallBody();
        config.cutDownloadAt = c.cutAt;
        config.cardDelayMs = c.cardDelayMs;
        CConnectionLimits limits = QuickLimits();
        limits.fileWaitMs = c.fileWaitMs;
        Open(config, limits);
        EXPECT_EQ(Shoot("walk 0001"), kQuorrelProgressEnded);
        EXPECT_TRUE(FilesInFolder().empty());
        EXPECT_EQ(m_connection->HasCamera(), c.cameraStays);
    }
}

TEST_F(CameraConnection, SlowCardWithinTheWaitDelivers) {
    CSimulatedCameraConfig config = SmallBody();
    config.cardDelayMs = 300;
    Open(config);
    EXPECT_EQ(Shoot("walk 0001"), kQuorrelProgressDone);
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"walk 0001.jpg"}));
}

TEST_F(CameraConnection, BusyShutterIsRetriedBeforeEachFrameUpToALimit) {
    CSimulatedCameraConfig config = SmallBody();
    config.busyTriggers = 2;
    Open(config);
    std::atomic<int> progress{0};
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/a", &progress), kOk);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1);
    EXPECT_EQ(progress.load(), 0) << "still pending";
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 0);
    EXPECT_EQ(progress.load(), kQuorrelProgressDone);

    CConnectionLimits limits = QuickLimits();
    limits.triggerAttempts = 3;
    config.busyTriggers = 1000;
    Open(config, limits);
    std::atomic<int> refused{0};
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/b", &refused), kOk);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_connection->TakeQueuedPicture(), 1);
    EXPECT_EQ(refused.load(), kQuorrelProgressEnded);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1) << "nothing left pending";
}

TEST_F(CameraConnection, FailedQualityReadQueuesNothing) {
    Open();
    m_body->Unplug();
    std::atomic<int> progress{0};
    EXPECT_EQ(m_connection->QueuePicture(Folder() + "/a", &progress), kFail);
    m_body->Plug();
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1);
    EXPECT_EQ(progress.load(), 0);

    // A body without a quality setting shoots one JPEG.
    CSimulatedCameraConfig config = SmallBody();
    config.hasImageQuality = false;
    Open(config);
    EXPECT_EQ(Shoot("b"), kQuorrelProgressDone);
    EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"b.jpg"}));
}

TEST_F(CameraConnection, InterruptionEndsAShotWaitingForItsFiles) {
    CSimulatedCameraConfig config = SmallBody();
    config.cardDelayMs = 3000;
    CConnectionLimits limits = QuickLimits();
    limits.fileWaitMs = 20000;
    Open(config, limits);
    std::atomic<int> progress{0};
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/a", &progress), kOk);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_connection->SetInterrupted(true);
    });
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 0);
    stopper.join();
    EXPECT_EQ(progress.load(), kQuorrelProgressEnded) << "given up before the card delivered";
    EXPECT_TRUE(FilesInFolder().empty());

    std::atomic<int> next{0};
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/b", &next), kOk);
    EXPECT_EQ(m_connection->TakeQueuedPicture(), 1) << "no new shot while interrupted";
    m_connection->SetInterrupted(false);
}

TEST_F(CameraConnection, StoppingEndsAQueuedPicture) {
    Open();
    std::atomic<int> progress{0};
    ASSERT_EQ(m_connection->QueuePicture(Folder() + "/a", &progress), kOk);
    m_connection.reset();
    EXPECT_EQ(progress.load(), kQuorrelProgressEnded);
    EXPECT_TRUE(FilesInFolder().empty());
}

}  // namespace
}  // namespace kolvane::quorrel
