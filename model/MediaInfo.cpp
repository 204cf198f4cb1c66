#include "model/MediaInfo.h"

namespace kolvane {

CSoundInfo::CSoundInfo(QString path) : path(std::move(path)) {}

CSoundInfo::~CSoundInfo() = default;

}  // namespace kolvane
