#include "tool/DevicesCommand.h"

#include <cstdio>

#include "capture/VideoSources.h"
#include "platform/StringTable.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {

int RunDevices(const QStringList& args) {
    if (!args.isEmpty()) return UsageError(QStringLiteral("devices takes no arguments"));
    const std::vector<CVideoSourceInfo> sources =
        ListVideoSources(VideoDeviceModeFromEnvironment(), OpenV4l2Node);
    if (sources.empty()) {
        std::printf("%s\n", StringText(40608).toUtf8().constData());  // "no video devices"
        return kExitOk;
    }
    for (const CVideoSourceInfo& source : sources) {
        std::printf("%s\n", DescribeVideoSource(source).toUtf8().constData());
    }
    return kExitOk;
}

}  // namespace kolvane::tool
