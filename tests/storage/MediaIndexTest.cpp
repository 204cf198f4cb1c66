#include <gtest/gtest.h>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "storage/MediaIndex.h"

namespace kolvane {
namespace {

// The index answers as the list's own walks do, for names and paths that
// differ in case, extension, folder and sound-cell suffix.
TEST(MediaIndex, AnswersAsTheListsOwnLookups) {
    CMdiaList media;
    for (const char* path :
         {"/s/walk 0001.png", "/s/walk 0002.jpg", "/s/Walk 0003.png", "/t/walk 0001.bmp",
          "/s/take:2.wav", "/s/take.wav", "/s/door.wav", "/s/\u00c9t\u00e9 0001.png"}) {
        const QString p = QString::fromUtf8(path);
        media.AddMediaFile(p.endsWith(".wav") ? kTypeSound : kTypeImage, p);
    }
    media.RecomputeSummaries();
    const CMediaIndex index(media);
    for (const char* key :
         {"walk 0001", "WALK 0002", "walk 0003", "walk 0001(1)", "take:2", "take:   7", "TAKE",
          "door:  12", "door", "nothing", "", "\u00e9T\u00c9 0001"}) {
        const QString name = QString::fromUtf8(key);
        EXPECT_EQ(index.FindByName(name), media.FindItemByName(name)) << key;
    }
    for (const char* key : {"/s/walk 0001.xyz", "/S/WALK 0002.png", "/t/walk 0001.png",
                            "/s/take.aif", "/u/walk 0001.png", "/s/door.wav", "short"}) {
        const QString path = QString::fromUtf8(key);
        EXPECT_EQ(index.FindByPath(path), media.FindItemByPath(path)) << key;
        EXPECT_EQ(index.HasPath(path), media.FindItemByPath(path) != nullptr) << key;
    }
}

}  // namespace
}  // namespace kolvane
