#include "app/ProcessObjects.h"

namespace kolvane {

CProcessObjects::CProcessObjects(int nativeAspect) : settings(nativeAspect), title(settings) {}

}  // namespace kolvane
