#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageReader>

#include "app/ProgramIcon.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

void WritePng(const QString& path, int size) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path));
}

// The program of the build tree finds the sizes the build made from the SVG.
TEST(ProgramIcon, BuildTreeHasEverySizeOfTheIcon) {
    const QStringList files = ProgramIconFiles(test::BinaryDir());
    ASSERT_EQ(files.size(), 7) << files.join(u' ').toStdString();
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(QImageReader(files[i]).size(), QSize(sizes[i], sizes[i]))
            << files[i].toStdString();
    }
    const QIcon icon = ProgramIcon(test::BinaryDir());
    EXPECT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(48, 48)));
}

// An install tree: bin/kolvane beside share/icons/hicolor, anywhere on disk.
TEST(ProgramIcon, InstallTreeIsFoundRelativeToTheProgram) {
    const QString prefix = test::MakeTempDir(QStringLiteral("icon-prefix"));
    const QString bin = prefix + QStringLiteral("/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString theme =
        QDir::cleanPath(QDir(bin).filePath(QStringLiteral(KOLVANE_INSTALLED_ICON_DIR_FROM_BIN)));
    EXPECT_TRUE(ProgramIconFiles(bin).isEmpty());

    WritePng(theme + QStringLiteral("/128x128/apps/kolvane.png"), 128);
    WritePng(theme + QStringLiteral("/16x16/apps/kolvane.png"), 16);
    WritePng(theme + QStringLiteral("/48x48/apps/other.png"), 48);  // not ours
    ASSERT_TRUE(QDir().mkpath(theme + QStringLiteral("/scalable/apps")));
    ASSERT_TRUE(QDir().mkpath(theme + QStringLiteral("/32x32/apps/kolvane.png/")));  // no file

    // By size, not by name: 16 before 128.
    EXPECT_EQ(ProgramIconFiles(bin),
              QStringList({theme + QStringLiteral("/16x16/apps/kolvane.png"),
                           theme + QStringLiteral("/128x128/apps/kolvane.png")}));
    const QIcon icon = ProgramIcon(bin);
    EXPECT_EQ(icon.availableSizes(), QList<QSize>({QSize(16, 16), QSize(128, 128)}));
}

}  // namespace
}  // namespace kolvane
