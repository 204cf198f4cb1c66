#pragma once

#include <cstdint>
#include <memory>

#include <QString>

#include "model/ListInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"

namespace kolvane {

// The view that shows a list; told to redraw after level commands.
class IListView {
  public:
    virtual ~IListView() = default;
    virtual void ListChanged() = 0;
};

// A list of levels headed by a root node: the common shape of the media list
// and the exposure sheet. Only the user-interface thread touches it.
class CListList {
  public:
    CListList();
    virtual ~CListList();
    CListList(const CListList&) = delete;
    CListList& operator=(const CListList&) = delete;

    // The audio output that gives every new level summary its ring. Set once
    // the output exists; levels made before get none.
    void SetAudioRingFactory(IAudioRingFactory* factory) { ringFactory_ = factory; }
    IAudioRingFactory* AudioRingFactory() const { return ringFactory_; }

    CNode& Root() { return root_; }
    const CNode& Root() const { return root_; }
    CNodeList& Levels() { return *root_.children; }
    const CNodeList& Levels() const { return *root_.children; }
    CListInfo& Totals() { return *root_.summary; }
    const CListInfo& Totals() const { return *root_.summary; }

    // A new level node whose summary is registered with the audio output.
    std::unique_ptr<CNode> MakeLevel(std::uint32_t type, const QString& name,
                                     std::uint32_t summaryType);

    void Clear();
    void RecomputeSummaries();
    void UnselectAll();
    int TotalChildren() const;
    int LongestLevel() const;

    // The first level whose summary shares an image or sound bit with `bits`.
    CNode* FindLevelByType(std::uint32_t bits) const;
    int CountInLevelByType(std::uint32_t bits) const;
    CNode* FindLevelByName(const QString& name) const;
    int IndexOfLevel(const CNode* level) const { return Levels().indexOf(level); }

    // The first item whose path equals `path` with both extensions dropped,
    // case ignored.
    CNode* FindItemByPath(const QString& path) const;
    // The first item whose name equals the key, case ignored; in a sound level
    // the key is a sound cell name less its ":frame" suffix.
    CNode* FindItemByName(const QString& name) const;

    // Level commands of a list view.
    void SetLevelName(CNode* level, const QString& text);
    void SetLevelRank(CNode* level, const QString& text);
    void SortLevel(CNode* level);
    void SelectAllInLevel(CNode* level);
    void UnselectAllInLevel(CNode* level);
    // Selects the level's children that no cell of `sheet` shows.
    void SelectUnusedInLevel(CNode* level, const CListList& sheet);

    // Media list: index of the item added last within its level. Exposure
    // sheet: the current frame.
    int currentPosition = 0;
    // Exposure sheet: the last editor selection was one range (made without Ctrl).
    int rangeFlag = 0;
    IListView* view = nullptr;

  protected:
    void Redraw() {
        if (view != nullptr) view->ListChanged();
    }

  private:
    CNode root_;
    IAudioRingFactory* ringFactory_ = nullptr;
};

}  // namespace kolvane
