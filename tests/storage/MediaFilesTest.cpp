#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

#include <QDir>
#include <QFile>
#include <QStringList>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "storage/MediaFiles.h"
#include "tests/support/TestEnvironment.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

QStringList Names(const CNode* level) {
    QStringList names;
    if (level != nullptr) {
        for (const CNode* item : *level->children)
            names << item->name;
    }
    return names;
}

TEST(MediaFilesTest, KindsByExtension) {
    const struct {
        const char* name;
        std::uint32_t kind;
    } cases[] = {{"a 0001.png", kTypeImage},
                 {"a.JPG", kTypeImage},
                 {"x.tga", kTypeImage},
                 {"b.wav", kTypeSound},
                 {"b.Mp3", kTypeSound},
                 {"c.aif", kTypeSound},
                 {"a.lvw", 0},
                 {"scene.csv", 0},
                 {"a.jpeg", 0},
                 {"png", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(MediaKindOfFile(c.name), c.kind) << c.name;

    EXPECT_EQ(WithoutMediaExtension("walk 0001.png"), QString("walk 0001"));
    EXPECT_EQ(WithoutMediaExtension("shot.1 0001"), std::nullopt);
}

TEST(MediaFilesTest, AddsAFoldersImagesInNameOrderThenItsSounds) {
    const QString dir = test::MakeTempDir("folder");
    for (const char* name : {"walk 0002.png", "walk 0001.PNG", "Walk 0003.jpg", "boom.wav",
                             "notes.txt", "walk 0001.lvw", "scene.csv"}) {
        QFile file(dir + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir).mkdir("sub.png"));  // a folder is no image

    CMdiaList media;
    int added = 0;
    ASSERT_EQ(AddFolderMedia(media, dir + "/", &added), kOk);
    EXPECT_EQ(added, 4);
    EXPECT_EQ(Names(media.ImageLevel()), (QStringList{"Walk 0003", "walk 0001", "walk 0002"}));
    EXPECT_EQ(Names(media.SoundLevel()), (QStringList{"boom"}));
    EXPECT_EQ(media.ImageLevel()->children->at(1)->imageInfo->path, dir + "/walk 0001.PNG");
    EXPECT_EQ(media.Totals().typeBits, kTypeImageItem | kTypeSoundItem);

    // Adding the same folder again adds nothing.
    ASSERT_EQ(AddFolderMedia(media, dir, &added), kOk);
    EXPECT_EQ(added, 0);

    EXPECT_EQ(AddFolderMedia(media, dir + "/missing", &added), ENOENT);
}

}  // namespace
}  // namespace kolvane
