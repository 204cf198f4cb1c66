#include <gtest/gtest.h>

#include "display/PictureAspect.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

TEST(PictureAspect, PictureFactors) {
    CSettings settings(133);
    struct Case {
        int monitor;
        int letterbox;
        int w, h;
        float width, height;
    };
    const Case cases[] = {
        {133, 133, 640, 480, 1.0f, 1.0f},
        {133, 133, 720, 576, 1.0f, 1.0f},       // PAL DV is shown as 4:3
        {133, 133, 1920, 1080, 1.0f, 0.7514f},  // 16:9 on a 4:3 monitor
        {177, 133, 640, 480, 0.7514f, 1.0f},    // 4:3 on a 16:9 monitor
        {133, 255, 640, 480, 1.0f, 0.7514f},    // anamorphic stretch
        {0, 133, 640, 480, 1.0f, 1.0f},         // auto: native 133
        {133, 133, 640, 0, 1.0f, 1.0f},         // no height: no division by zero
    };
    for (const Case& c : cases) {
        settings.Set(MonitorAspect, c.monitor);
        settings.Set(GrabLetterbox, c.letterbox);
        EXPECT_NEAR(WidthFactor(settings, c.w, c.h), c.width, 1e-3) << c.w << "x" << c.h;
        EXPECT_NEAR(HeightFactor(settings, c.w, c.h), c.height, 1e-3) << c.w << "x" << c.h;
    }
}

}  // namespace
}  // namespace kolvane
