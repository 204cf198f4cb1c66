#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include <QString>

#include "model/Node.h"

namespace kolvane {

// The ordered children of a level. The list owns its nodes: removing a node
// deletes it unless it is taken out with Take(). Positions are 0-based
// indexes; -1 stands for none.
class CNodeList {
  public:
    using Storage = std::vector<std::unique_ptr<CNode>>;

    class Iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = CNode*;
        using difference_type = std::ptrdiff_t;
        using pointer = CNode**;
        using reference = CNode*;

        Iterator() = default;
        explicit Iterator(Storage::const_iterator it) : it_(it) {}
        CNode* operator*() const { return it_->get(); }
        Iterator& operator++() {
            ++it_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator copy = *this;
            ++it_;
            return copy;
        }
        Iterator& operator--() {
            --it_;
            return *this;
        }
        difference_type operator-(const Iterator& other) const { return it_ - other.it_; }
        bool operator==(const Iterator& other) const = default;

      private:
        Storage::const_iterator it_;
    };

    int size() const { return static_cast<int>(nodes_.size()); }
    bool empty() const { return nodes_.empty(); }
    Iterator begin() const { return Iterator(nodes_.begin()); }
    Iterator end() const { return Iterator(nodes_.end()); }

    // The node at a position, or none outside the list.
    CNode* at(int index) const;
    CNode* front() const { return empty() ? nullptr : nodes_.front().get(); }
    CNode* back() const { return empty() ? nullptr : nodes_.back().get(); }
    int indexOf(const CNode* node) const;

    CNode* append(std::unique_ptr<CNode> node);
    CNode* prepend(std::unique_ptr<CNode> node) { return insert(0, std::move(node)); }
    // Inserts before `index` (at the end when index >= size()).
    CNode* insert(int index, std::unique_ptr<CNode> node);
    // Removes the node at `index` and hands it over; none outside the list.
    std::unique_ptr<CNode> take(int index);
    // Removes and deletes the node at `index`.
    void erase(int index);
    // Removes and deletes the nodes from `first` to the end.
    void truncate(int first);
    void clear() { nodes_.clear(); }
    // Moves the node at `from` so that it stands at `to`.
    void move(int from, int to);

    // Inserts before the first child whose name compares greater (code point
    // order, case-sensitive), else at the tail. Returns the number of children
    // compared, counting the one it was inserted before (0 for an empty level);
    // `position` receives the index the node got.
    int insertSorted(std::unique_ptr<CNode> node, int* position = nullptr);

    // Where insertSorted would put a node named `name` when the list is in
    // name order: after every child that does not compare greater. O(log n).
    int upperBoundByName(const QString& name) const;
    // Whether every child compares no greater than the one after it.
    bool isSortedByName() const;

    // Sorts by name (stable; code point order, case-sensitive); blank nodes go
    // to the tail.
    void sortByName();

    // Removes and deletes the first child whose name equals `name` exactly.
    bool removeByName(const QString& name);

    // Removes and deletes every node for which `remove(node)` is true, in one
    // pass, keeping the others in order. Returns how many went.
    template <class Predicate>
    int removeIf(Predicate remove) {
        auto kept =
            std::remove_if(nodes_.begin(), nodes_.end(),
                           [&](const std::unique_ptr<CNode>& node) { return remove(*node); });
        const auto removed = static_cast<int>(nodes_.end() - kept);
        nodes_.erase(kept, nodes_.end());
        return removed;
    }

    void selectAll();
    void unselectAll();

  private:
    Storage nodes_;
};

}  // namespace kolvane
