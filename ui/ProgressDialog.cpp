#include "ui/ProgressDialog.h"

#include <QCoreApplication>
#include <QPainter>

#include "platform/StringTable.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CProgressDialog::CProgressDialog(QWidget* owner) : CBasicDialog(owner) {}

CProgressDialog::~CProgressDialog() {
    Close();
}

void CProgressDialog::Open(int titleId, int buttonSet) {
    total_ = 0;
    position_ = 0;
    answer_ = IProgress::kGoOn;
    const int unit = DialogUnit();
    const bool buttons = buttonSet != IProgress::kNoButtons;
    SetButtonSet(buttonSet);
    SetPositionMemory(9);  // always centred
    // Modal without a loop of its own: the operation's loop pumps the events.
    setWindowModality(Qt::ApplicationModal);
    Create(StringText(titleId), WindowWidth(2 * unit), WindowHeight(buttons ? unit : unit / 2));
}

void CProgressDialog::SetRange(int total) {
    total_ = total;
    if (IsOpen()) repaint();
}

int CProgressDialog::Step(int position) {
    position_ = position;
    if (IsOpen()) repaint();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return answer_;
}

void CProgressDialog::Close() {
    if (!IsOpen()) return;
    End(answer_);
    setWindowModality(Qt::NonModal);
}

bool CProgressDialog::OnCommand(int id) {
    if (id == IProgress::kAbort || id == IProgress::kStop || id == IProgress::kClosed) {
        answer_ = id;
        return true;
    }
    return false;
}

QRect CProgressDialog::BarRect() const {
    const QRect client = ClientRect();
    const int line = LineHeight();
    const int inset = std::max(0, (client.height() - line) / 2);
    QRect bar = client.adjusted(inset, inset, -inset, 0);
    bar.setHeight(std::min(line, client.height()));
    return bar;
}

QRect CProgressDialog::FilledRect() const {
    const QRect bar = BarRect();
    // A range of 0 (nothing to count yet) shows an empty bar rather than
    // dividing by it; positions outside the range are held to its ends.
    long long filled = 0;
    if (total_ > 0) {
        const long long position = std::clamp(position_, 0, total_);
        filled = static_cast<long long>(bar.width()) * position / total_;
    }
    return QRect(bar.left(), bar.top(), static_cast<int>(filled), bar.height());
}

void CProgressDialog::PaintClient(QPainter& painter, const QRect&) {
    painter.fillRect(BarRect(), Colors().Fill(CColors::kTrack));
    painter.fillRect(FilledRect(), Colors().Fill(CColors::kFace));
}

}  // namespace kolvane
