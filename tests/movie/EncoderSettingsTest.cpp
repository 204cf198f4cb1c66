#include <gtest/gtest.h>

#include <algorithm>

#include "movie/EncoderSettings.h"
#include "platform/GstPtr.h"

namespace kolvane {
namespace {

const EncoderSetting* Find(const std::vector<EncoderSetting>& settings, const char* name) {
    const auto found = std::find_if(settings.begin(), settings.end(), [&](const auto& setting) {
        return setting.name == QLatin1String(name);
    });
    return found == settings.end() ? nullptr : &*found;
}

TEST(EncoderSettings, ListsTheEncodersOwnPropertiesWithTheirRangesAndChoices) {
    GstElementPtr encoder(gst_element_factory_make("avenc_mpeg4", nullptr));
    ASSERT_NE(encoder, nullptr);
    const std::vector<EncoderSetting> settings = EncoderSettings(encoder.get());
    EXPECT_EQ(Find(settings, "name"), nullptr);
    EXPECT_EQ(Find(settings, "parent"), nullptr);

    const EncoderSetting* bitrate = Find(settings, "bitrate");
    ASSERT_NE(bitrate, nullptr);
    EXPECT_EQ(bitrate->kind, EncoderSetting::Kind::kWhole);
    EXPECT_EQ(bitrate->minimum, 0);
    EXPECT_EQ(bitrate->maximum, 2147483647.0);
    EXPECT_EQ(bitrate->value, "200000");
    EXPECT_FALSE(bitrate->help.isEmpty());

    const EncoderSetting* pass = Find(settings, "pass");
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(pass->kind, EncoderSetting::Kind::kChoice);
    EXPECT_TRUE(pass->choices.contains("cbr"));
    EXPECT_EQ(pass->value, "cbr");
}

TEST(EncoderSettings, SetsValuesFromTextAndRefusesWhatDoesNotFit) {
    GstElementPtr encoder(gst_element_factory_make("avenc_mpeg4", nullptr));
    ASSERT_NE(encoder, nullptr);
    struct Case {
        const char* name;
        const char* value;
        bool accepted;
    };
    const Case cases[] = {
        {"bitrate", "800000", true},   {"bitrate", "-5", false},
        {"bitrate", "fast", false},    {"motion-est", "zero", true},
        {"motion-est", "warp", false}, {"no-such-setting", "1", false},
        {"name", "other", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        EXPECT_EQ(SetEncoderSetting(encoder.get(), c.name, c.value), c.accepted);
    }
    const std::vector<EncoderSetting> settings = EncoderSettings(encoder.get());
    EXPECT_EQ(Find(settings, "bitrate")->value, "800000");
    EXPECT_EQ(Find(settings, "motion-est")->value, "zero");
}

}  // namespace
}  // namespace kolvane
