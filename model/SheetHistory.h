#pragma once

#include "platform/ResultCodes.h"

namespace kolvane {

class CXshtList;

// The undo history of the exposure sheet as the editing code sees it. An edit
// asks it to keep the sheet as it stands before changing anything.
class ISheetHistory {
  public:
    virtual ~ISheetHistory() = default;

    // Keeps the sheet as the newest undo step. Answers 0, or the message
    // number of a step that could not be kept; the edit may still go on, it
    // just cannot be undone to this point.
    virtual Result RecordEdit(const CXshtList& sheet) = 0;

    // Forgets every step: they name media that no longer go by those names.
    virtual void Reset() = 0;
};

}  // namespace kolvane
