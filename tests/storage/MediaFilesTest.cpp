#include <gtest/gtest.h>

#include <ostream>

#include "model/Node.h"
#include "storage/MediaFiles.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

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

}  // namespace
}  // namespace kolvane
