#include "app/ProcessObjects.h"

namespace kolvane {

CProcessObjects::CProcessObjects(int nativeAspect)
    : settings(nativeAspect), title(settings), sheet(settings) {}

}  // namespace kolvane
