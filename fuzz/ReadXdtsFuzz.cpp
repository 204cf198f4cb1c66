// Feeds arbitrary bytes, behind the XDTS first line, to the exposure sheet
// reader. It must refuse or read within its limits and leave a normalised
// sheet; a refused file leaves the sheet untouched; what it read writes as
// XDTS and reads back to the same sheet.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QBuffer>

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/TimingFile.h"
#include "storage/XdtsFile.h"

namespace kolvane {
namespace {

const QString kFolder = QStringLiteral("/scene");

struct FuzzScene {
    FuzzScene() {
        for (const char* name : {"walk 0001", "walk 0002", "walk 0012", "A 0001", "run 0003"})
            media.AddMediaFile(kTypeImage, kFolder + u'/' + QString::fromUtf8(name) + ".png");
        media.RecomputeSummaries();
    }
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

Result Read(CXshtList& sheet, const FuzzScene& scene, QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadXdtsFrom(sheet, scene.media, buffer, kFolder);
}

}  // namespace
}  // namespace kolvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolvane;
    static const FuzzScene scene;
    const QByteArray input =
        QByteArray(kXdtsIdentifier) + '\n' +
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CXshtList sheet(scene.settings);
    if (Read(sheet, scene, input) != kOk) {
        Check(sheet.Levels().empty());
        return 0;
    }
    for (const CNode* column : sheet.Levels())
        Check(column->children->size() == sheet.SheetLength());

    const QByteArray timing = FormatTiming(sheet);
    CXshtList again(scene.settings);
    Check(Read(again, scene, FormatXdts(sheet, QStringLiteral("fuzz"))) == kOk);
    if (FormatTiming(again) != timing) {
        std::fprintf(stderr, "read:\n%s\nread back:\n%s\n", timing.constData(),
                     FormatTiming(again).constData());
        std::abort();
    }
    return 0;
}
