#include "model/Anim.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include <QSet>

#include "model/MdiaList.h"
#include "model/MediaNames.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"

namespace kolvane {
namespace {

const QString kMixed = QStringLiteral("MIXED");
const QString kFirstName = QStringLiteral("A");

int ClampNumber(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, CAnim::kMaxNumber));
}

// The text less every trailing character of "0123456789_-. ".
QString WithoutTrailingNumber(const QString& text) {
    qsizetype end = text.size();
    while (end > 0) {
        const QChar c = text[end - 1];
        if (!(c.isDigit() && c.unicode() < 128) && c != u'_' && c != u'-' && c != u'.' && c != u' ')
            break;
        --end;
    }
    return text.left(end);
}

QString WithoutTrailingSpace(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return text.left(end);
}

// The image names of a level, case folded, for repeated look-ups.
QSet<QString> FoldedNames(const CNode* level) {
    QSet<QString> names;
    if (level != nullptr) {
        for (const CNode* item : *level->children)
            names.insert(item->name.toCaseFolded());
    }
    return names;
}

bool IsImage(const CNode* node) {
    return node != nullptr && node->HasAny(kTypeImage);
}

// From `next` on by `step`, the first number whose image name is not taken.
int FirstFreeNumber(const QSet<QString>& taken, const QString& name, int next, int step) {
    step = std::max(step, 1);
    while (taken.contains(ImageName(name, next).toCaseFolded()) && next < CAnim::kMaxNumber)
        next = ClampNumber(std::int64_t{next} + step);
    return next;
}

// The first `count` images and the names a rename gives them.
struct RenamePlan {
    std::unordered_set<const CNode*> renaming;
    QStringList names;
    QSet<QString> folded;
};

RenamePlan PlanRename(const std::vector<CNode*>& images, int count, const QString& name, int first,
                      int step) {
    RenamePlan plan;
    plan.renaming.insert(images.begin(), images.begin() + count);
    for (int i = 0; i < count; ++i) {
        plan.names << ImageName(name, first + i * std::max(step, 1));
        plan.folded.insert(plan.names.back().toCaseFolded());
    }
    return plan;
}

}  // namespace

CAnim::CAnim(CMdiaList& media) : media_(&media) {
    Reset();
}

CNode* CAnim::ImageLevel() const {
    return media_->ImageLevel();
}

void CAnim::Clear() {
    first_ = 0;
    last_ = 0;
    next_ = 1;
    step_ = 1;
    nextFixed_ = false;
    images_.clear();
}

void CAnim::Reset() {
    Clear();
    if (media_->Levels().empty() || name_.isEmpty()) {
        name_ = kFirstName;
        return;
    }
    // Every try that finds images covers at least one of them, so this bound
    // is never reached by a real list; it only rules out looping forever.
    const CNode* level = ImageLevel();
    const int bound = (level != nullptr ? level->children->size() : 0) + 64;
    QString candidate = AdvanceName(name_);
    for (int tries = 0; tries < bound; ++tries) {
        name_ = candidate;
        next_ = 1;
        TakeLevel(NextName());
        if (images_.empty()) return;
        Clear();
        // The level name is the candidate less any trailing digits, so the
        // name advances from there ("take90" covers the level "take").
        candidate = AdvanceName(name_.isEmpty() ? kFirstName : name_);
    }
}

void CAnim::TakeLevel(const QString& text) {
    Clear();
    name_ = WithoutTrailingNumber(text);
    if (const CNode* level = ImageLevel()) {
        for (CNode* item : *level->children)
            AddImage(item);
    }
    FinishDerived();
}

// The step is the mean gap between the images; next follows the last.
void CAnim::FinishDerived() {
    name_ = WithoutTrailingSpace(name_);
    const int count = static_cast<int>(images_.size());
    if (count > 1) {
        step_ = (last_ - first_) / (count - 1);
        next_ = ClampNumber(std::int64_t{last_} + step_);
    }
    AnimValues values = Get();
    Normalise(values);
    Set(values);
}

void CAnim::AddImage(CNode* item) {
    if (!IsImage(item) || !SameNameIgnoringCase(BaseName(*item), name_)) return;
    const int number = std::min(TrailingNumber(item->name), kMaxNumber);
    if (number <= 0) return;
    if (images_.empty()) {
        first_ = number;
        last_ = number;
    } else {
        first_ = std::min(first_, number);
        last_ = std::max(last_, number);
    }
    images_.push_back(item);
    if (number >= next_) next_ = ClampNumber(std::int64_t{number} + step_);
}

void CAnim::TakeSelection() {
    Clear();
    name_.clear();
    if (const CNode* level = ImageLevel()) {
        for (CNode* item : *level->children) {
            if (!item->IsSelected() || !IsImage(item)) continue;
            const QString base = BaseName(*item);
            if (images_.empty()) {
                name_ = base;
            } else if (base != name_) {
                name_ = kMixed;
            }
            const int number = std::min(TrailingNumber(item->name), kMaxNumber);
            if (first_ == 0 || number < first_) first_ = number;
            last_ = std::max(last_, number);
            images_.push_back(item);
        }
    }
    FinishDerived();
}

QString CAnim::NextName() {
    next_ = FirstFreeNumber(FoldedNames(ImageLevel()), name_, next_, step_);
    return ImageName(name_, next_);
}

void CAnim::Normalise(AnimValues& values) {
    values.first = ClampNumber(values.first);
    values.last = ClampNumber(values.last);
    values.next = ClampNumber(values.next);
    // A step below 1 would never find a free number.
    values.step = std::clamp(values.step, 1, kMaxNumber);
    if (images_.empty()) {
        values.last = values.first;
        values.next = ClampNumber(std::int64_t{values.first} + 1);
        return;
    }
    if (values.first == 0) values.first = 1;
    if (values.last < values.first) values.last = values.first;
    const auto count = static_cast<std::int64_t>(images_.size());
    if (values.first != first_) {
        const int last = ClampNumber(values.first + (count - 1) * values.step);
        if (values.last != last) {
            values.last = last;
            values.next = ClampNumber(std::int64_t{last} + values.step);
        }
    }
    if (!nextFixed_) {
        if (values.next == next_) {
            values.next = ClampNumber(std::int64_t{values.last} + values.step);
        } else {
            nextFixed_ = true;  // the user typed it
        }
    }
    // On to the first free number of the name being set.
    values.next = FirstFreeNumber(FoldedNames(ImageLevel()), values.name, values.next, values.step);
}

AnimValues CAnim::Get() const {
    return {name_, first_, last_, next_, step_};
}

void CAnim::Set(const AnimValues& values) {
    name_ = values.name;
    first_ = values.first;
    last_ = values.last;
    next_ = values.next;
    step_ = values.step;
}

int CAnim::RenamedCount() const {
    const auto count = static_cast<std::int64_t>(images_.size());
    const std::int64_t step = std::max(step_, 1);
    if (count == 0 || first_ > last_) return 0;
    return static_cast<int>(std::min(count, (std::int64_t{last_} - first_) / step + 1));
}

bool CAnim::RenameWouldClash() const {
    const CNode* level = ImageLevel();
    if (level == nullptr) return false;
    const RenamePlan plan = PlanRename(images_, RenamedCount(), name_, first_, step_);
    for (const CNode* item : *level->children) {
        if (!plan.renaming.contains(item) && plan.folded.contains(item->name.toCaseFolded()))
            return true;
    }
    return false;
}

void CAnim::ApplyRename(ISheetHistory& history, CXshtList& sheet) {
    history.Reset();
    CNode* level = ImageLevel();
    if (level == nullptr) return;
    const RenamePlan plan = PlanRename(images_, RenamedCount(), name_, first_, step_);

    // Images that would end up sharing a name with a renamed one go first;
    // two items of one name would overwrite each other's file on saving.
    std::unordered_set<const CNode*> removed;
    level->children->removeIf([&](CNode& item) {
        if (plan.renaming.contains(&item) || !plan.folded.contains(item.name.toCaseFolded()))
            return false;
        removed.insert(&item);
        return true;
    });
    std::erase_if(images_, [&](const CNode* item) { return removed.contains(item); });
    for (qsizetype i = 0; i < plan.names.size(); ++i)
        images_[static_cast<std::size_t>(i)]->name = plan.names[i];
    media_->RecomputeSummaries();
    sheet.RefreshNamesFromMedia(*media_);
}

bool CAnim::IsValidName(const QString& name) {
    if (name == u"." || name == u"..") return false;
    return std::none_of(name.begin(), name.end(),
                        [](QChar c) { return c == u'/' || c.category() == QChar::Other_Control; });
}

QString CAnim::AdvanceName(const QString& name) {
    if (name.isEmpty()) return kFirstName;
    const qsizetype size = name.size();
    const bool pair =
        size >= 2 && name[size - 1].isLowSurrogate() && name[size - 2].isHighSurrogate();
    const char32_t last =
        pair ? QChar::surrogateToUcs4(name[size - 2], name[size - 1]) : name[size - 1].unicode();
    switch (last) {
        case U'Z':
            return name + u'A';
        case U'z':
            return name + u'a';
        case U'9':
            return name + u'0';
        default:
            break;
    }
    char32_t advanced = last + 1;
    if (advanced >= 0xD800 && advanced <= 0xDFFF) advanced = 0xE000;  // no lone surrogates
    if (advanced == U'/') ++advanced;
    if (advanced > 0x10FFFF) return name + u'A';
    return name.left(size - (pair ? 2 : 1)) + QString::fromUcs4(&advanced, 1);
}

}  // namespace kolvane
