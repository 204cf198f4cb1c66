#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "capture/DeviceNode.h"
#include "capture/VideoDevices.h"
#include "capture/VideoModes.h"

namespace kolvane {

// One video source as the capture graph would see it, for listings: its
// name, the kind it is detected as (the `VideoInput` value), its device
// node, its inputs and its formats.
struct CVideoSourceInfo {
    QString name;
    int kind = 1;
    QString path;
    std::vector<CVideoInputInfo> inputs;
    std::vector<CVideoMode> modes;
    bool opens = true;  // an element could be made for it
};

// Every source the graph would search, in its order, each detected without
// running it: a camera answers IQuorrel, an HD card is a DeckLink device, a
// DV camcorder offers DV, a capture card has several inputs or a tuner;
// anything else is a webcam.
std::vector<CVideoSourceInfo> ListVideoSources(VideoDeviceMode mode,
                                               const DeviceNodeOpener& openNode);

// "name<TAB>kind text<TAB>path or -<TAB>formats, ..." with the inputs after
// the formats for a capture card.
QString DescribeVideoSource(const CVideoSourceInfo& source);

}  // namespace kolvane
