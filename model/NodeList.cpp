#include "model/NodeList.h"

#include <algorithm>

#include "model/MediaNames.h"

namespace kolvane {

CNode* CNodeList::at(int index) const {
    if (index < 0 || index >= size()) return nullptr;
    return nodes_[static_cast<std::size_t>(index)].get();
}

int CNodeList::indexOf(const CNode* node) const {
    for (int i = 0; i < size(); ++i) {
        if (nodes_[static_cast<std::size_t>(i)].get() == node) return i;
    }
    return -1;
}

CNode* CNodeList::append(std::unique_ptr<CNode> node) {
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

CNode* CNodeList::insert(int index, std::unique_ptr<CNode> node) {
    index = std::clamp(index, 0, size());
    auto it = nodes_.insert(nodes_.begin() + index, std::move(node));
    return it->get();
}

std::unique_ptr<CNode> CNodeList::take(int index) {
    if (index < 0 || index >= size()) return nullptr;
    auto it = nodes_.begin() + index;
    std::unique_ptr<CNode> node = std::move(*it);
    nodes_.erase(it);
    return node;
}

void CNodeList::erase(int index) {
    take(index);
}

void CNodeList::truncate(int first) {
    if (first < 0) first = 0;
    if (first < size()) nodes_.erase(nodes_.begin() + first, nodes_.end());
}

void CNodeList::move(int from, int to) {
    if (from < 0 || from >= size()) return;
    std::unique_ptr<CNode> node = take(from);
    insert(to, std::move(node));
}

int CNodeList::insertSorted(std::unique_ptr<CNode> node, int* position) {
    int compared = 0;
    int index = 0;
    for (; index < size(); ++index) {
        ++compared;
        if (CompareNames(nodes_[static_cast<std::size_t>(index)]->name, node->name) > 0) break;
    }
    insert(index, std::move(node));
    if (position != nullptr) *position = index;
    return compared;
}

int CNodeList::upperBoundByName(const QString& name) const {
    const auto it = std::upper_bound(nodes_.begin(), nodes_.end(), name,
                                     [](const QString& key, const std::unique_ptr<CNode>& node) {
                                         return CompareNames(key, node->name) < 0;
                                     });
    return static_cast<int>(it - nodes_.begin());
}

bool CNodeList::isSortedByName() const {
    for (std::size_t i = 1; i < nodes_.size(); ++i) {
        if (CompareNames(nodes_[i - 1]->name, nodes_[i]->name) > 0) return false;
    }
    return true;
}

void CNodeList::sortByName() {
    auto firstBlank = std::stable_partition(
        nodes_.begin(), nodes_.end(), [](const auto& n) { return (n->type & kTypeBlank) == 0; });
    std::stable_sort(nodes_.begin(), firstBlank, [](const auto& a, const auto& b) {
        return CompareNames(a->name, b->name) < 0;
    });
}

bool CNodeList::removeByName(const QString& name) {
    for (int i = 0; i < size(); ++i) {
        if (nodes_[static_cast<std::size_t>(i)]->name == name) {
            erase(i);
            return true;
        }
    }
    return false;
}

void CNodeList::selectAll() {
    for (auto& node : nodes_)
        node->Select();
}

void CNodeList::unselectAll() {
    for (auto& node : nodes_)
        node->Unselect();
}

}  // namespace kolvane
