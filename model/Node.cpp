#include "model/Node.h"

#include "model/ListInfo.h"
#include "model/MediaInfo.h"
#include "model/NodeList.h"

namespace kolvane {

CNode::CNode(std::uint32_t type, QString name) : type(type), name(std::move(name)) {}

CNode::~CNode() {
    // Children first: their cells may refer to nothing here, but a level's
    // summary (and its audio ring) must outlive none of them.
    children.reset();
    summary.reset();
}

std::unique_ptr<CNode> CNode::NewLevel(std::uint32_t type, QString name,
                                       std::uint32_t summaryType) {
    auto level = std::make_unique<CNode>(type, std::move(name));
    level->children = std::make_unique<CNodeList>();
    level->summary = std::make_unique<CListInfo>(summaryType);
    return level;
}

std::unique_ptr<CNode> CNode::NewCell(CNode* item) {
    if (item == nullptr) return std::make_unique<CNode>(kTypeBlank, QString());
    auto cell = std::make_unique<CNode>((item->type & kTypeMediaKinds) | kTypeCell, item->name);
    cell->item = item;
    return cell;
}

std::unique_ptr<CNode> CNode::CloneCell() const {
    auto copy = std::make_unique<CNode>(type, name);
    copy->flags = flags;
    copy->item = item;
    return copy;
}

}  // namespace kolvane
