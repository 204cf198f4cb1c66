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

CMediaIndex::CMediaIndex(const CMdiaList& media) {
    for (const CNode* level : media.Levels()) {
        Level& names = levels_.emplace_back();
        names.sounds = (level->summary->typeBits & kTypeSound) != 0;
        for (CNode* item : *level->children) {
            const Entry entry{item, next_++};
            if (const QString* path = ItemPath(*item)) {
                const QString key = PathKey(*path);
                if (!paths_.contains(key)) paths_.insert(key, entry);
            }
            const QString name = item->name.toCaseFolded();
            if (!names.names.contains(name)) names.names.insert(name, entry);
        }
    }
}

bool CMediaIndex::HasPath(const QString& path) const {
    return paths_.contains(PathKey(path));
}

CNode* CMediaIndex::FindByPath(const QString& path) const {
    return paths_.value(PathKey(path)).item;
}

CNode* CMediaIndex::FindByName(const QString& name) const {
    QString soundKey = name;
    if (auto parts = ParseSoundCellName(name)) soundKey = parts->soundName;
    const QString folded = name.toCaseFolded();
    const QString soundFolded = soundKey.toCaseFolded();
    for (const Level& level : levels_) {
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
    if (const QString* path = ItemPath(*item)) {
        const QString key = PathKey(*path);
        if (!paths_.contains(key)) paths_.insert(key, Entry{item, next_++});
    }
}

}  // namespace kolvane
