#include "ui/SelectBox.h"

#include <QPainter>

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/Node.h"
#include "ui/BasicButton.h"
#include "ui/SelectView.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

enum CellInfoMode { kNoInfo = 0, kCounter = 1, kThumbnail = 2, kMiniature = 3, kProperties = 4 };
constexpr int kMiniatureRows = 4;

bool SameRun(const CNode* a, const CNode* b) {
    return a != nullptr && b != nullptr && a->item == b->item && a->name == b->name;
}

}  // namespace

CSelectBox::CSelectBox(CSelectView& view, const CColors& colors)
    : QWidget(&view), view_(view), colors_(&colors) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    switch_ =
        new CBasicButton(kSwitchCommand, QString(), QString(), CBasicButton::kToggle, colors, this);
    menu_ =
        new CBasicButton(kMenuCommand, QString(), QString(), CBasicButton::kPlain, colors, this);
    menu_->SetGlyph(CBasicButton::Glyph::kDown);
    connect(switch_, &CBasicButton::Command, this, &CSelectBox::Command);
    connect(menu_, &CBasicButton::Command, this, &CSelectBox::Command);
}

void CSelectBox::SetColumn(int column) {
    column_ = column;
    Refresh();
}

CNode* CSelectBox::Level() const {
    return column_ >= 0 ? view_.LevelAt(column_) : nullptr;
}

void CSelectBox::Refresh() {
    const CNode* level = Level();
    const bool header = view_.HeaderHeight() > 0 && level != nullptr;
    switch_->setVisible(header);
    menu_->setVisible(header);
    if (level != nullptr) switch_->SetChecked((level->flags & kFlagOn) != 0);
    resizeEvent(nullptr);
    update();
}

void CSelectBox::resizeEvent(QResizeEvent*) {
    const int line = view_.HeaderHeight();
    if (line == 0) return;
    switch_->setGeometry(1, 1, line - 2, line - 2);
    menu_->setGeometry(width() - line + 1, 1, line - 2, line - 2);
}

void CSelectBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), Qt::black);
    painter.restore();
    const CNode* level = Level();
    if (level == nullptr) return;
    PaintHeader(painter, *level);
    PaintCells(painter, *level);
    PaintCurrentRow(painter);
}

void CSelectBox::PaintHeader(QPainter& painter, const CNode& level) const {
    const int line = view_.HeaderHeight();
    if (line == 0) return;
    painter.save();
    const CColors::State state = (level.flags & kFlagOn) ? CColors::kNormal : CColors::kOff;
    const QRect header(0, 0, width(), line);
    painter.fillRect(header, colors_->Fill(CColors::kFace, state));
    painter.setPen(colors_->Text(CColors::kFace, state));
    painter.drawText(header.adjusted(line + 2, 0, -line - 2, 0),
                     Qt::AlignCenter | Qt::TextSingleLine, level.name);
    painter.restore();
}

void CSelectBox::PaintCells(QPainter& painter, const CNode& level) const {
    if (!level.children) return;
    painter.save();
    const int line = LineHeight();
    const int first = view_.FirstRow();
    const int rows = view_.VisibleRows();
    const CNodeList& cells = *level.children;
    // The frame within its exposure, counted once up to the first row shown
    // and then on row by row: a long exposure costs one walk, not one a row.
    int inRun = 1;
    if (view_.CellInfo() == kCounter) {
        for (int r = first; r > 0 && SameRun(cells.at(r - 1), cells.at(first)); --r)
            ++inRun;
    }
    for (int i = 0; i < rows; ++i) {
        const int row = first + i;
        if (row >= cells.size()) break;
        if (i > 0) inRun = SameRun(cells.at(row - 1), cells.at(row)) ? inRun + 1 : 1;
        PaintCell(painter, level, row, inRun,
                  QRect(0, view_.HeaderHeight() + i * line, width(), line));
    }
    painter.restore();
}

void CSelectBox::PaintCell(QPainter& painter, const CNode& level, int row, int inRun,
                           const QRect& cell) const {
    CNode* node = level.children->at(row);
    const bool on = (level.flags & kFlagOn) != 0;
    const CColors::State state = !on                  ? CColors::kOff
                                 : node->IsSelected() ? CColors::kSelected
                                                      : CColors::kNormal;
    const bool blank = node->HasAny(kTypeBlank) || (node->Is(kTypeCell) && node->item == nullptr);
    painter.fillRect(cell.adjusted(0, 0, 0, -1),
                     colors_->Fill(blank ? CColors::kTrack : CColors::kField, state));

    // A run of cells showing the same item reads as one exposure: the name on
    // its first row (or the first row shown), a line down the rest.
    const CNode* above = row > 0 ? level.children->at(row - 1) : nullptr;
    const bool runStart = !SameRun(above, node) || row == view_.FirstRow();
    const int line = LineHeight();
    const QRect text = cell.adjusted(4, 0, -4, 0);
    painter.setPen(colors_->Text(CColors::kField, state));
    if (runStart) {
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, node->name);
    } else if (!blank) {
        painter.drawLine(text.left() + line / 2, cell.top(), text.left() + line / 2, cell.bottom());
    }

    CNode* item = node->Is(kTypeCell) ? node->item : (node->Is(kTypeMedia) ? node : nullptr);
    if (item == nullptr) return;
    const QRect side(cell.left() + cell.width() / 2, cell.top() + 1, cell.width() / 2 - 2,
                     cell.height() - 2);
    if (item->HasAny(kTypeSound)) {
        PaintWaveform(painter, *node, side);
        return;
    }
    switch (view_.CellInfo()) {
        case kCounter:
            painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter, QString::number(inRun));
            break;
        case kThumbnail:
            if (runStart) PaintPicture(painter, *item, side);
            break;
        case kMiniature:
            if (runStart) {
                int rows = 1;
                while (rows < kMiniatureRows && SameRun(level.children->at(row + rows), node))
                    ++rows;
                PaintPicture(painter, *item,
                             QRect(side.left(), side.top(), side.width(), rows * line - 2));
            }
            break;
        case kProperties:
            if (runStart && item->imageInfo && item->imageInfo->imageWidth > 0) {
                painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter,
                                 QStringLiteral("%1x%2")
                                     .arg(item->imageInfo->imageWidth)
                                     .arg(item->imageInfo->imageHeight));
            }
            break;
        default:
            break;
    }
}

void CSelectBox::PaintPicture(QPainter& painter, const CNode& item, const QRect& area) const {
    if (item.texture.isNull() || area.isEmpty()) return;
    const QSize size = item.texture.size().scaled(area.size(), Qt::KeepAspectRatio);
    const QRect target(area.right() - size.width() + 1, area.top(), size.width(), size.height());
    painter.drawImage(target, item.texture);
}

// A sound cell k shows pixel rows (k − 1) × L to k × L of its sound's
// waveform; a sound item of the media list shows the whole waveform squeezed.
void CSelectBox::PaintWaveform(QPainter& painter, const CNode& cell, const QRect& area) const {
    const CNode* item = cell.Is(kTypeCell) ? cell.item : &cell;
    if (item == nullptr) return;
    const auto* pairs = view_.Waveform(*item);
    if (pairs == nullptr || pairs->empty() || area.isEmpty()) return;
    const int line = LineHeight();
    const int total = static_cast<int>(pairs->size());
    int first = 0;
    int count = total;
    if (cell.Is(kTypeCell)) {
        const auto parts = ParseSoundCellName(cell.name);
        if (!parts || parts->index < 1) return;
        first = (parts->index - 1) * line;
        count = line;
    }
    const double middle = area.left() + area.width() / 2.0;
    const double scale = area.width() / 65536.0;
    for (int y = 0; y < area.height(); ++y) {
        const int index = first + static_cast<int>(static_cast<long long>(y) * count /
                                                   std::max(1, area.height()));
        if (index < 0 || index >= total) continue;
        const auto [low, high] = (*pairs)[static_cast<std::size_t>(index)];
        painter.drawLine(QPointF(middle + low * scale, area.top() + y),
                         QPointF(middle + high * scale, area.top() + y));
    }
}

void CSelectBox::PaintCurrentRow(QPainter& painter) const {
    const int row = view_.CurrentRow() - view_.FirstRow();
    if (view_.CurrentRow() < 0 || row < 0 || row >= view_.VisibleRows()) return;
    painter.save();
    const int line = LineHeight();
    painter.setPen(colors_->Line(CColors::kTrack, CColors::kSelected));
    painter.drawRect(
        QRect(0, view_.HeaderHeight() + row * line, width(), line).adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace kolvane
