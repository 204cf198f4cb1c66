// Feeds arbitrary bytes to ReadTimingFrom as a timing file. Whatever it reads
// must leave a normalised sheet that writes and reads back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QBuffer>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/TimingFile.h"

namespace kolvane {
namespace {

const QString kFolder = QStringLiteral("/scene");

// A media list with the kinds of names timing files refer to.
struct FuzzScene {
    FuzzScene() {
        for (const char* name : {"walk 0001", "walk 0002", "walk(1) 0003", "shot.1 0001",
                                 "a,b 0001", "q\"x 0001", "0001"}) {
            media.AddMediaFile(kTypeImage, kFolder + u'/' + QString::fromUtf8(name) + ".png");
        }
        CNode* boom = media.AddMediaFile(kTypeSound, kFolder + "/boom.wav");
        boom->soundInfo->lengthInFrames = 3.0f;
        media.RecomputeSummaries();
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckNormalised(const CXshtList& sheet) {
    const CNodeList& columns = sheet.Levels();
    if (columns.empty()) return;
    const int length = sheet.SheetLength();
    Check(columns.size() >= 2 && length >= 2);
    for (int i = 0; i < columns.size(); ++i) {
        const CNode& column = *columns.at(i);
        const bool last = i + 1 == columns.size();
        Check(column.children->size() == length);
        Check(column.children->back()->HasAny(kTypeBlank));
        Check(column.type == (last ? kTypeBlankColumn : kTypeLevel));
        Check(!last || column.name.isEmpty());
        Check((column.summary->blanks == length) == last);
    }
}

Result Read(CXshtList& sheet, const FuzzScene& scene, QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadTimingFrom(sheet, scene.media, buffer, kFolder);
}

}  // namespace
}  // namespace kolvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolvane;
    static const FuzzScene scene;
    CXshtList sheet(scene.settings);
    Read(sheet, scene,
         QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    CheckNormalised(sheet);

    const QByteArray written = FormatTiming(sheet);
    CXshtList again(scene.settings);
    Check(Read(again, scene, written) == kOk);
    const QByteArray rewritten = FormatTiming(again);
    if (rewritten != written) {
        std::fprintf(stderr, "written:\n%s\nread back:\n%s\n", written.constData(),
                     rewritten.constData());
        std::abort();
    }
    return 0;
}
