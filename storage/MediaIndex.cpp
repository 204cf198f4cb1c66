#include "storage/MediaIndex.h"

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"

namespace kolvane {
namespace {

const QString* ItemPath(const CNode& item) {
    if (item.imageInfo) return &item.imageInfo->path;
    if (item.soundInfo) return &item.soundInfo->path;
    return nullptr;
}

}  // namespace

QString CMediaIndex::PathKey(const QString& path) {
    return DropLast(path, 4).toCaseFolded();
}

CMediaIndex::CMediaIndex(const CMdiaList& media) : media_(media) {}

void CMediaIndex::KeepFirst(QHash<QString, Entry>& hash, const QString& key, Entry entry) {
    Entry& kept = hash[key];  // one lookup; a new one is empty
    if (kept.item == nullptr) kept = entry;
}

const QHash<QString, CMediaIndex::Entry>& CMediaIndex::Paths() const {
    if (pathsMade_) return paths_;
    pathsMade_ = true;
    paths_.reserve(media_.TotalChildren());
    for (const CNode* level : media_.Levels()) {
        for (CNode* item : *level->children) {
            if (const QString* path = ItemPath(*item)) KeepFirst(paths_, PathKey(*path), {item, 0});
        }
    }
    return paths_;
}

const std::vector<CMediaIndex::Level>& CMediaIndex::Levels() const {
    if (namesMade_) return levels_;
    namesMade_ = true;
    int rank = 0;
    for (const CNode* level : media_.Levels()) {
        Level& names = levels_.emplace_back();
        names.sounds = (level->summary->typeBits & kTypeSound) != 0;
        names.names.reserve(level->children->size());
        for (CNode* item : *level->children)
            KeepFirst(names.names, item->name.toCaseFolded(), {item, rank++});
    }
    return levels_;
}

bool CMediaIndex::HasPath(const QString& path) const {
    return Paths().contains(PathKey(path));
}

CNode* CMediaIndex::FindByPath(const QString& path) const {
    return Paths().value(PathKey(path)).item;
}

CNode* CMediaIndex::FindByName(const QString& name) const {
    QString soundKey = name;
    if (auto parts = ParseSoundCellName(name)) soundKey = parts->soundName;
    const QString folded = name.toCaseFolded();
    const QString soundFolded = soundKey.toCaseFolded();
    for (const Level& level : Levels()) {
        const Entry plain = level.names.value(folded);
        if (!level.sounds) {
            if (plain.item != nullptr) return plain.item;
            continue;
        }
        // A sound's own name may end in ":<digits>" too ("take:2").
        const Entry sound = level.names.value(soundFolded);
        if (sound.item != nullptr && (plain.item == nullptr || sound.rank < plain.rank))
            return sound.item;
        if (plain.item != nullptr) return plain.item;
    }
    return nullptr;
}

void CMediaIndex::Add(CNode* item) {
    const QString* path = ItemPath(*item);
    if (path == nullptr) return;
    Paths();  // made now, it holds the item already: it is in the list
    KeepFirst(paths_, PathKey(*path), {item, 0});
}

}  // namespace kolvane
