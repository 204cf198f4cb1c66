#include "app/ProcessObjects.h"

namespace kolvane {

CProcessObjects::CProcessObjects(int nativeAspect)
    : settings(nativeAspect), title(settings), sheet(settings), display(settings, media) {}

}  // namespace kolvane
