#include <gtest/gtest.h>

#include <QStringList>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"

namespace kolvane {
namespace {

QStringList NamesOf(const CNode* level) {
    QStringList names;
    for (const CNode* child : *level->children)
        names << child->name;
    return names;
}

class RecordingRings : public IAudioRingFactory {
  public:
    class Ring : public IAudioRing {
      public:
        explicit Ring(int* live) : live_(live) { ++*live_; }
        ~Ring() override { --*live_; }

      private:
        int* live_;
    };
    std::unique_ptr<IAudioRing> CreateTrackBuffer() override {
        return std::make_unique<Ring>(&live);
    }
    int live = 0;
};

class CountingOpener : public ISoundOpener {
  public:
    Result OpenSound(CNode& item) override {
        opened << item.name;
        item.soundInfo->channels = 2;
        return kOk;
    }
    QStringList opened;
};

TEST(MediaList, AddingTheSamePathTwiceYieldsTheSameItem) {
    CMdiaList media;
    bool added = false;
    CNode* first = media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"), &added);
    EXPECT_TRUE(added);
    CNode* second = media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"), &added);
    EXPECT_FALSE(added);
    EXPECT_EQ(first, second);
    EXPECT_EQ(media.ImageLevel()->children->size(), 1);
    EXPECT_EQ(first->type, kTypeImageItem);
    EXPECT_EQ(first->name, QStringLiteral("A 0001"));
    EXPECT_EQ(first->imageInfo->path, QStringLiteral("/s/A 0001.png"));
}

TEST(MediaList, NameClashRenamesTheSequenceAlreadyPresentAndKeepsTheLevelSorted) {
    CMdiaList media;
    media.AddMediaFile(kTypeImage, QStringLiteral("/a/walk 0001.bmp"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/a/walk 0002.bmp"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/a/walkabout 0001.bmp"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/b/walk 0001.bmp"));
    EXPECT_EQ(NamesOf(media.ImageLevel()),
              (QStringList{"walk 0001", "walk(1) 0001", "walk(1) 0002", "walkabout 0001"}));
    EXPECT_EQ(media.FindItemByName(QStringLiteral("walk 0001"))->imageInfo->path,
              QStringLiteral("/b/walk 0001.bmp"));

    // A second clash takes the next free suffix.
    media.AddMediaFile(kTypeImage, QStringLiteral("/c/walk 0001.bmp"));
    EXPECT_EQ(NamesOf(media.ImageLevel()), (QStringList{"walk 0001", "walk(1) 0001", "walk(1) 0002",
                                                        "walk(2) 0001", "walkabout 0001"}));
}

TEST(MediaList, ImageLevelStandsBeforeTheSoundLevel) {
    RecordingRings rings;
    CountingOpener opener;
    CMdiaList media;
    media.SetAudioRingFactory(&rings);
    media.SetSoundOpener(&opener);
    media.AddMediaFile(kTypeSound, QStringLiteral("/s/take-2.wav"));
    ASSERT_EQ(media.Levels().size(), 1);
    EXPECT_EQ(media.Levels().at(0)->name, QStringLiteral("sounds"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"));
    EXPECT_EQ(media.Levels().at(0)->name, QStringLiteral("images"));
    EXPECT_EQ(media.Levels().at(1)->name, QStringLiteral("sounds"));
    EXPECT_EQ(rings.live, 2);
    EXPECT_EQ(opener.opened, QStringList{"take-2"});
    EXPECT_EQ(media.SoundLevel()->children->front()->soundInfo->channels, 2);
    media.Clear();
    EXPECT_EQ(rings.live, 0);
}

TEST(MediaList, ALevelEmptiedByHandIsReplacedByANewOneOnTheNextAdd) {
    CMdiaList media;
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"));
    CNode* old = media.ImageLevel();
    old->children->clear();
    media.RecomputeSummaries();
    EXPECT_EQ(old->summary->typeBits, 0u);
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/B 0001.png"));
    EXPECT_EQ(media.Levels().size(), 2);
    EXPECT_NE(media.ImageLevel(), old);
}

TEST(MediaList, BaseNamesAndNumbers) {
    struct Case {
        const char* name;
        bool image;
        const char* base;
        int number;
    };
    const Case cases[] = {
        {"A 0012", true, "A", 12},      {"walk_3", true, "walk", 3},
        {"A-12", true, "A", 12},        {"A-12", false, "A-12", 12},
        {"take-2", false, "take-2", 2}, {"shot.1 0001", true, "shot", 1},
        {"0001", true, "", 1},          {"pan:", false, "pan", 0},
        {"x 12345", true, "x", 12345},  {"", true, "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BaseName(QString::fromUtf8(c.name), c.image), QString::fromUtf8(c.base))
            << c.name;
        EXPECT_EQ(TrailingNumber(QString::fromUtf8(c.name)), c.number) << c.name;
    }
}

TEST(MediaList, ShortFileNamesNeverUnderflow) {
    CMdiaList media;
    CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/a.b"));
    EXPECT_EQ(item->name, QString());
    EXPECT_EQ(ItemNameFromPath(QStringLiteral("x")), QString());
    EXPECT_EQ(DropLast(QStringLiteral("abc"), 5), QString());
    EXPECT_TRUE(SamePathIgnoringExtension(QStringLiteral("ab"), QStringLiteral("cd")));
}

TEST(MediaList, FindsByPathIgnoringExtensionAndCase) {
    CMdiaList media;
    CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/Shot 0001.JPG"));
    EXPECT_EQ(media.FindItemByPath(QStringLiteral("/S/shot 0001.png")), item);
    EXPECT_EQ(media.FindItemByPath(QStringLiteral("/s/shot 0002.png")), nullptr);
}

TEST(MediaList, FindsSoundItemsByTheirCellNamesAtAnyFrameIndex) {
    CMdiaList media;
    CNode* take = media.AddMediaFile(kTypeSound, QStringLiteral("/s/take:2.wav"));
    EXPECT_EQ(media.FindItemByName(SoundCellName(QStringLiteral("take:2"), 3)), take);
    EXPECT_EQ(media.FindItemByName(SoundCellName(QStringLiteral("TAKE:2"), 12345)), take);
    EXPECT_EQ(media.FindItemByName(QStringLiteral("take:2")), take);
    EXPECT_EQ(SoundCellName(QStringLiteral("s"), 7), QStringLiteral("s:   7"));
    EXPECT_EQ(SoundCellName(QStringLiteral("s"), 12345), QStringLiteral("s:12345"));
    const auto parts = ParseSoundCellName(QStringLiteral("take:2:12345"));
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->soundName, QStringLiteral("take:2"));
    EXPECT_EQ(parts->index, 12345);
    EXPECT_FALSE(ParseSoundCellName(QStringLiteral("take 0001")).has_value());
}

TEST(MediaList, NamesSortByCodePointLikeTheirUtf8Bytes) {
    CMdiaList media;
    // U+1F600 (a surrogate pair in UTF-16) sorts after U+FF21 in UTF-8 bytes.
    media.AddMediaFile(kTypeImage, QString::fromUtf8("/s/\xF0\x9F\x98\x80 0001.png"));
    media.AddMediaFile(kTypeImage, QString::fromUtf8("/s/\xEF\xBC\xA1 0001.png"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/b 0001.png"));
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/C 0001.png"));
    EXPECT_EQ(NamesOf(media.ImageLevel()),
              (QStringList{"C 0001", "b 0001", QString::fromUtf8("\xEF\xBC\xA1 0001"),
                           QString::fromUtf8("\xF0\x9F\x98\x80 0001")}));
}

TEST(MediaList, SelectingWritesTheFlagWordAndClearsLoadFailed) {
    CMdiaList media;
    CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"));
    item->flags |= kFlagLoadFailed;
    media.SelectAllInLevel(media.ImageLevel());
    EXPECT_EQ(item->flags, kFlagSelected);
    EXPECT_EQ(media.Totals().selected, 1);
    media.UnselectAllInLevel(media.ImageLevel());
    EXPECT_EQ(item->flags, 0u);
    EXPECT_EQ(media.Totals().selected, 0);
}

TEST(MediaList, SummariesCountOnlyLevelsThatAreOn) {
    CMdiaList media;
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"))->Select();
    media.AddMediaFile(kTypeSound, QStringLiteral("/s/s.wav"))->Select();
    media.SoundLevel()->flags &= ~kFlagOn;
    media.RecomputeSummaries();
    EXPECT_EQ(media.Totals().selected, 1);
    EXPECT_EQ(media.Totals().typeBits, kTypeImageItem | kTypeSoundItem);
    EXPECT_EQ(media.TotalChildren(), 2);
    media.UnselectAll();
    EXPECT_FALSE(media.ImageLevel()->children->front()->IsSelected());
}

TEST(MediaList, SetRankMovesTheLevel) {
    CMdiaList media;
    media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"));
    media.AddMediaFile(kTypeSound, QStringLiteral("/s/s.wav"));
    media.Levels().append(media.MakeLevel(kTypeLevel, QStringLiteral("extra"), 0));
    CNode* images = media.ImageLevel();
    struct Case {
        const char* text;
        int index;
    };
    const Case cases[] = {{"3", 2}, {"1", 0}, {"99", 2}, {"0", 0}, {"two", 0}, {"-4", 0}, {"2", 1}};
    for (const Case& c : cases) {
        media.SetLevelRank(images, QString::fromLatin1(c.text));
        EXPECT_EQ(media.IndexOfLevel(images), c.index) << c.text;
    }
}

TEST(MediaList, SelectUnusedLeavesItemsOnTheSheetUnselected) {
    CMdiaList media;
    CNode* used = media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0001.png"));
    CNode* unused = media.AddMediaFile(kTypeImage, QStringLiteral("/s/A 0002.png"));
    CListList sheet;
    CNode* column = sheet.Levels().append(sheet.MakeLevel(kTypeLevel, QStringLiteral("A"), 0));
    column->children->append(CNode::NewCell(used));
    column->children->append(CNode::NewCell(nullptr));
    media.SelectUnusedInLevel(media.ImageLevel(), sheet);
    EXPECT_FALSE(used->IsSelected());
    EXPECT_TRUE(unused->IsSelected());
}

TEST(MediaList, SortByNamePutsBlanksLast) {
    CNodeList list;
    list.append(std::make_unique<CNode>(kTypeImageCell, QStringLiteral("b")));
    list.append(std::make_unique<CNode>(kTypeBlank, QString()));
    list.append(std::make_unique<CNode>(kTypeImageCell, QStringLiteral("a")));
    list.sortByName();
    EXPECT_EQ(list.at(0)->name, QStringLiteral("a"));
    EXPECT_EQ(list.at(1)->name, QStringLiteral("b"));
    EXPECT_EQ(list.at(2)->type, kTypeBlank);
    EXPECT_TRUE(list.removeByName(QStringLiteral("a")));
    EXPECT_FALSE(list.removeByName(QStringLiteral("a")));
    EXPECT_EQ(list.size(), 2);
}

TEST(MediaList, InsertSortedReportsHowManyChildrenItCompared) {
    CNodeList list;
    int position = -1;
    EXPECT_EQ(list.insertSorted(std::make_unique<CNode>(0, QStringLiteral("m")), &position), 0);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(list.insertSorted(std::make_unique<CNode>(0, QStringLiteral("a")), &position), 1);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(list.insertSorted(std::make_unique<CNode>(0, QStringLiteral("z")), &position), 2);
    EXPECT_EQ(position, 2);
}

// A bulk add answers exactly as adding one by one: the same items in the
// same order under the same names (clashes renamed), the same item for a
// path added twice, the same position of the last one added.
TEST(MediaList, BulkAddGivesTheListOfAddingOneByOne) {
    const QStringList paths = {
        "/s/walk 0002.png", "/s/walk 0001.png", "/s/Run 0001.png",           "/t/walk 0001.png",
        "/s/walk 0002.png", "/s/zoom 0001.png", "/u/WALK 0001.png",          "/s/a 0001.png",
        "/s/walk 0003.png", "/t/run 0002.png",  "/s/\u00e9t\u00e9 0001.png", "/s/b 0001.png",
    };
    auto fill = [&paths](CMdiaList& list, bool bulk) {
        std::unique_ptr<CMdiaList::CBulkAdd> scope;
        if (bulk) scope = std::make_unique<CMdiaList::CBulkAdd>(list);
        // Something already there before the bulk add starts.
        list.AddMediaFile(kTypeImage, "/s/m 0001.png");
        QList<const CNode*> returned;
        for (const QString& path : paths)
            returned << list.AddMediaFile(kTypeImage, path);
        return returned;
    };
    CMdiaList single;
    CMdiaList bulk;
    fill(single, false);
    const QList<const CNode*> returned = fill(bulk, true);
    const CNode* one = single.ImageLevel();
    const CNode* many = bulk.ImageLevel();
    ASSERT_EQ(NamesOf(many), NamesOf(one));
    for (int i = 0; i < one->children->size(); ++i)
        EXPECT_EQ(many->children->at(i)->imageInfo->path, one->children->at(i)->imageInfo->path)
            << i;
    EXPECT_EQ(bulk.currentPosition, single.currentPosition);
    EXPECT_EQ(returned[4], returned[0]) << "the same path twice is one item";
    // Adding by hand afterwards still works on the list the bulk add left.
    EXPECT_NE(bulk.AddMediaFile(kTypeImage, "/s/c 0001.png"), nullptr);
    EXPECT_NE(single.AddMediaFile(kTypeImage, "/s/c 0001.png"), nullptr);
    EXPECT_EQ(NamesOf(bulk.ImageLevel()), NamesOf(single.ImageLevel()));
}

}  // namespace
}  // namespace kolvane
