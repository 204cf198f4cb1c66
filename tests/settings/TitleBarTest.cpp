#include <gtest/gtest.h>

#include <clocale>

#include <QLocale>

#include "settings/Settings.h"
#include "settings/TitleBar.h"

namespace kolvane {
namespace {

TEST(TitleBar, FirstStartText) {
    CSettings settings;
    CTitleBar title(settings);
    QString caption;
    title.SetCaptionSink([&](const QString& text) { caption = text; });
    title.SetImageCount(0);
    title.SetFrameCount(0);
    EXPECT_EQ(caption, QStringLiteral("Kolvane 1.77     Scene: Untitled      0 images     0 frames "
                                      "(0.00 seconds at 25 fps)"));
}

TEST(TitleBar, CountsNameAndMark) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    CSettings settings;
    settings.Set(FrameRate, 24);
    CTitleBar title(settings);
    title.SetSceneName(QStringLiteral("/home/me/My Scenes/walk %4/"));
    title.SetMark(QStringLiteral("*"));
    title.SetImageCount(12);
    title.SetFrameCount(37);
    EXPECT_EQ(title.Text(),
              QStringLiteral("Kolvane 1.77     Scene: /home/me/My Scenes/walk %4 *     "
                             "12 images     37 frames (1.54 seconds at 24 fps)"));
    EXPECT_TRUE(title.IsChanged());
    title.Reset();
    EXPECT_EQ(title.SceneName(), QStringLiteral("Untitled"));
    EXPECT_FALSE(title.IsChanged());
    EXPECT_EQ(title.FrameCount(), 0);
}

}  // namespace
}  // namespace kolvane
