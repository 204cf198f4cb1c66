#include <gtest/gtest.h>

#include <QFile>

#include "storage/FileCompare.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(FileCompare, FilesAreTheSameOnlyWhenEveryByteIs) {
    const QString dir = test::MakeTempDir(QStringLiteral("compare"));
    // Past one read chunk, so that a difference late in the file counts.
    const QByteArray big(200000, 'x');
    QByteArray lateChange = big;
    lateChange[199999] = 'y';
    Write(dir + "/a", big);
    Write(dir + "/b", big);
    Write(dir + "/c", lateChange);
    Write(dir + "/d", big.left(1000));
    Write(dir + "/e", QByteArray());
    Write(dir + "/f", QByteArray());
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    for (const Case& c : {Case{"a", "b", true}, Case{"a", "c", false}, Case{"a", "d", false},
                          Case{"a", "missing", false}, Case{"e", "f", true}}) {
        EXPECT_EQ(SameFileContents(dir + "/" + c.a, dir + "/" + c.b), c.same) << c.a << c.b;
    }
}

}  // namespace
}  // namespace kolvane
