#pragma once

#include <algorithm>
#include <vector>

#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "platform/ResultCodes.h"

namespace kolvane::test {

// The main frame as a panel or dialog sees it: keeps every command, sent and
// posted apart and together in their order.
class CCommandRecorder : public ICommandSink {
  public:
    void SendCommand(int id) override {
        sent.push_back(id);
        all.push_back(id);
    }
    void PostCommand(int id) override {
        posted.push_back(id);
        all.push_back(id);
    }
    int Count(int id) const { return static_cast<int>(std::count(all.begin(), all.end(), id)); }

    std::vector<int> sent;
    std::vector<int> posted;
    std::vector<int> all;
};

// The undo history as the editing code sees it: counts the snapshots asked
// for and the resets, and answers `answer`.
class CSnapshotCounter : public ISheetHistory {
  public:
    Result RecordEdit(const CXshtList&) override {
        ++recorded;
        return answer;
    }
    void Reset() override { ++resets; }

    int recorded = 0;
    int resets = 0;
    Result answer = kOk;
};

}  // namespace kolvane::test
