// The stored codes against the choices of libgphoto2 config widgets, built
// as the camera drivers build them (names as Canon, Nikon and generic PTP
// bodies list them).

#include <gphoto2/gphoto2.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "filters/quorrel/CameraCodes.h"
#include "filters/quorrel/GphotoCamera.h"

namespace kolvane::quorrel {
namespace {

GphotoWidgetPtr RadioWidget(const char* name, std::initializer_list<const char*> choices) {
    CameraWidget* widget = nullptr;
    EXPECT_EQ(gp_widget_new(GP_WIDGET_RADIO, name, &widget), GP_OK);
    gp_widget_set_name(widget, name);
    for (const char* choice : choices)
        gp_widget_add_choice(widget, choice);
    gp_widget_set_value(widget, *choices.begin());
    return GphotoWidgetPtr(widget);
}

std::string ValueOf(CameraWidget* widget) {
    const char* value = nullptr;
    gp_widget_get_value(widget, &value);
    return value != nullptr ? value : "";
}

struct Expectation {
    int code;
    const char* choice;  // nullptr: the body has no choice for the code
};

// Writes each code into the widget, checks the choice it lands on, and
// reads the code back from that choice.
void ExpectMapping(CameraWidget* widget, CameraSetting setting,
                   std::initializer_list<Expectation> expectations, bool readsBack = true) {
    for (const Expectation& expected : expectations) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << expected.code);
        const CameraStatus written = WriteWidgetCode(widget, setting, expected.code);
        if (expected.choice == nullptr) {
            EXPECT_EQ(written, CameraStatus::kFailed);
            continue;
        }
        ASSERT_EQ(written, CameraStatus::kOk);
        EXPECT_EQ(ValueOf(widget), expected.choice);
        if (!readsBack) continue;
        int code = -1;
        ASSERT_EQ(ReadWidgetCode(widget, setting, &code), CameraStatus::kOk);
        EXPECT_EQ(code, expected.code);
    }
}

TEST(CameraCodes, CanonEosChoices) {
    auto whiteBalance = RadioWidget("whitebalance", {"Auto", "Daylight", "Shadow", "Cloudy",
                                                     "Tungsten", "Fluorescent", "Flash", "Manual"});
    ExpectMapping(whiteBalance.get(), CameraSetting::kWhiteBalance,
                  {{1, "Daylight"},
                   {2, "Cloudy"},
                   {3, "Tungsten"},
                   {4, "Fluorescent"},
                   {8, "Shadow"},
                   {0, "Auto"}});

    auto iso = RadioWidget("iso", {"Auto", "100", "125", "160", "200", "400", "800", "1600"});
    ExpectMapping(iso.get(), CameraSetting::kIso,
                  {{72, "100"}, {77, "160"}, {80, "200"}, {88, "400"}, {96, "800"}, {0, "Auto"}});

    auto aperture = RadioWidget("aperture", {"4", "4.5", "5", "5.6", "8", "11", "16", "22"});
    ExpectMapping(aperture.get(), CameraSetting::kAperture,
                  {{48, "5.6"}, {56, "8"}, {64, "11"}, {72, "16"}, {80, "22"}, {0x2D, "5"}});

    auto shutter = RadioWidget("shutterspeed", {"bulb", "30", "2", "1", "0.5", "0.3", "1/4", "1/8",
                                                "1/13", "1/15", "1/4000"});
    ExpectMapping(shutter.get(), CameraSetting::kShutterSpeed,
                  {{88, "1/15"}, {80, "1/8"}, {72, "1/4"}, {64, "0.5"}, {56, "1"}, {0x55, "1/13"}});

    auto format =
        RadioWidget("imageformat", {"Large Fine JPEG", "Large Normal JPEG", "Medium Fine JPEG",
                                    "Small Fine JPEG", "RAW", "RAW + Large Fine JPEG",
                                    "RAW + Medium Fine JPEG", "RAW + Small Fine JPEG"});
    ExpectMapping(format.get(), CameraSetting::kImageQuality,
                  {{kQualityLargeFine, "Large Fine JPEG"},
                   {kQualityMiddleFine, "Medium Fine JPEG"},
                   {kQualitySmallFine, "Small Fine JPEG"},
                   {kQualityRawLargeFine, "RAW + Large Fine JPEG"},
                   {kQualityRawMiddleFine, "RAW + Medium Fine JPEG"},
                   {kQualityRawSmallFine, "RAW + Small Fine JPEG"},
                   {kQualityRawOnly, "RAW"},
                   {0x00000000, nullptr}});
    // The middle-1 fallback lands on the body's own middle size.
    ExpectMapping(format.get(), CameraSetting::kImageQuality,
                  {{kQualityMiddle1Fine, "Medium Fine JPEG"}}, false);
}

TEST(CameraCodes, NikonAndGenericPtpChoices) {
    auto whiteBalance = RadioWidget(
        "whitebalance",
        {"Automatic", "Daylight", "Fluorescent", "Tungsten", "Flash", "Cloudy", "Shade", "Preset"});
    ExpectMapping(whiteBalance.get(), CameraSetting::kWhiteBalance,
                  {{1, "Daylight"},
                   {2, "Cloudy"},
                   {3, "Tungsten"},
                   {4, "Fluorescent"},
                   {8, "Shade"},
                   {0, "Automatic"}});

    auto iso = RadioWidget("iso", {"100", "200", "400", "800"});
    ExpectMapping(iso.get(), CameraSetting::kIso,
                  {{72, "100"}, {80, "200"}, {77, nullptr}, {0, nullptr}});

    auto fNumber = RadioWidget("f-number", {"f/4", "f/5", "f/5.6", "f/8", "f/11", "f/16"});
    ExpectMapping(fNumber.get(), CameraSetting::kAperture,
                  {{48, "f/5.6"}, {56, "f/8"}, {64, "f/11"}, {80, nullptr}});

    auto exposure = RadioWidget(
        "shutterspeed", {"1.0000s", "0.5000s", "0.2500s", "0.1250s", "0.0667s", "0.0769s", "Bulb"});
    ExpectMapping(
        exposure.get(), CameraSetting::kShutterSpeed,
        {{88, "0.0667s"}, {80, "0.1250s"}, {64, "0.5000s"}, {56, "1.0000s"}, {0x68, nullptr}});

    // Bodies with their own quality names tell only whether a raw file comes.
    const std::pair<const char*, int> qualities[] = {
        {"JPEG Fine", kQualityLargeFine},  {"NEF+Fine", kQualityRawLargeFine},
        {"NEF (Raw)", kQualityRawOnly},    {"RAW+JPEG", kQualityRawLargeFine},
        {"Extra Fine", kQualityLargeFine},
    };
    for (const auto& [name, code] : qualities) {
        auto quality = RadioWidget("imagequality", {name});
        int read = 0;
        ASSERT_EQ(ReadWidgetCode(quality.get(), CameraSetting::kImageQuality, &read),
                  CameraStatus::kOk)
            << name;
        EXPECT_EQ(read, code) << name;
        EXPECT_EQ(FilesPerShot(read), QualityHasRaw(read) && read != kQualityRawOnly ? 2 : 1);
    }
}

TEST(CameraCodes, SeparateImageSizeFollowsTheQualitysJpegSize) {
    const std::vector<std::string> pixels = {"2992x2000", "6000x4000", "4496x3000"};
    const std::vector<std::string> letters = {"L", "M", "S"};
    struct Case {
        int quality;
        const char* bySize;
        const char* byLetter;
    };
    const Case cases[] = {
        {kQualityLargeFine, "6000x4000", "L"},     {kQualityMiddleFine, "4496x3000", "M"},
        {kQualitySmallFine, "2992x2000", "S"},     {kQualityMiddle1Fine, "4496x3000", "M"},
        {kQualityRawSmallFine, "2992x2000", "S"},  {kQualityRawLargeFine, "6000x4000", "L"},
        {kQualityRawSmall1Fine, "2992x2000", "S"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ImageSizeChoiceForQuality(c.quality, pixels), c.bySize) << std::hex << c.quality;
        EXPECT_EQ(ImageSizeChoiceForQuality(c.quality, letters), c.byLetter)
            << std::hex << c.quality;
    }
    EXPECT_EQ(ImageSizeChoiceForQuality(kQualityLargeFine, {"Standard"}), std::nullopt);
}

TEST(CameraCodes, ApertureRangeWidget) {
    CameraWidget* raw = nullptr;
    ASSERT_EQ(gp_widget_new(GP_WIDGET_RANGE, "aperture", &raw), GP_OK);
    GphotoWidgetPtr range(raw);
    gp_widget_set_range(raw, 3.5f, 16.0f, 0.1f);
    ASSERT_EQ(WriteWidgetCode(raw, CameraSetting::kAperture, 48), CameraStatus::kOk);
    float value = 0;
    gp_widget_get_value(raw, &value);
    EXPECT_FLOAT_EQ(value, 5.6f);
    int code = 0;
    ASSERT_EQ(ReadWidgetCode(raw, CameraSetting::kAperture, &code), CameraStatus::kOk);
    EXPECT_EQ(code, 48);
    EXPECT_EQ(WriteWidgetCode(raw, CameraSetting::kAperture, 80), CameraStatus::kFailed)
        << "f/22 lies outside the lens";
}

TEST(CameraCodes, GphotoResultsThatMeanBusyOrGone) {
    EXPECT_EQ(StatusOfGphotoResult(GP_ERROR_CAMERA_BUSY), CameraStatus::kBusy);
    EXPECT_EQ(StatusOfGphotoResult(GP_ERROR_IO_USB_FIND), CameraStatus::kGone);
    EXPECT_EQ(StatusOfGphotoResult(GP_ERROR_IO_READ), CameraStatus::kGone);
    EXPECT_EQ(StatusOfGphotoResult(GP_ERROR_CANCEL), CameraStatus::kCancelled);
    EXPECT_EQ(StatusOfGphotoResult(GP_ERROR_NOT_SUPPORTED), CameraStatus::kMissing);
    EXPECT_EQ(StatusOfGphotoResult(GP_OK), CameraStatus::kOk);
}

}  // namespace
}  // namespace kolvane::quorrel
