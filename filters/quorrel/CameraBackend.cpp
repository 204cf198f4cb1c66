#include "filters/quorrel/CameraBackend.h"

#include <cstdlib>
#include <cstring>

#include "filters/quorrel/GphotoCamera.h"
#include "filters/quorrel/SimulatedCamera.h"

namespace kolvane::quorrel {

std::unique_ptr<ICameraBackend> MakeCameraBackend() {
    const char* choice = std::getenv("KOLVANE_CAMERA");
    if (choice != nullptr && std::strcmp(choice, "simulated") == 0) {
        return std::make_unique<CSimulatedCamera>(CSimulatedBody::Shared());
    }
    if (choice != nullptr && std::strcmp(choice, "none") == 0) {
        CSimulatedCameraConfig nothing;
        nothing.present = false;
        return std::make_unique<CSimulatedCamera>(std::make_shared<CSimulatedBody>(nothing));
    }
    return std::make_unique<CGphotoCamera>();
}

}  // namespace kolvane::quorrel
