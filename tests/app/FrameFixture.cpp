#include "tests/app/FrameFixture.h"

#include <algorithm>

#include <QApplication>

#include "app/CommandRouter.h"
#include "model/MediaInfo.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane::test {

CommandSpy::CommandSpy(CMainFrame& frame) : frame_(frame) {
    std::vector<ICommandTarget*> targets = frame.RouteOrder();
    targets.insert(targets.begin(), this);
    frame.Router().SetTargets(targets);
}

// The frame still routes while it goes (its panels hear they are hidden).
CommandSpy::~CommandSpy() {
    std::vector<ICommandTarget*> targets = frame_.RouteOrder();
    std::erase(targets, this);
    frame_.Router().SetTargets(targets);
}

bool CommandSpy::OnCommand(int id) {
    seen.push_back(id);
    return takes.contains(id);
}

int CommandSpy::Count(int id) const {
    return static_cast<int>(std::count(seen.begin(), seen.end(), id));
}

FrameFixture::FrameFixture() {
    frame.resize(1024, 768);
    frame.show();
    QApplication::processEvents();
    spy.seen.clear();
}

void FillWalkColumn(CEngine& objects, int frames) {
    const QString dir = MakeTempDir(QStringLiteral("scene"));
    CNode* column = objects.sheet.GetColumn(0, QStringLiteral("walk"));
    for (int k = 0; k < frames; ++k) {
        CNode* item = objects.media.AddMediaFile(
            kTypeImage, dir + QStringLiteral("/walk %1.png").arg(k, 4, 10, QChar(u'0')));
        QImage texture(8, 6, QImage::Format_RGB32);
        texture.fill(Qt::darkCyan);
        item->texture = texture;
        item->imageInfo->imageWidth = 64;
        item->imageInfo->imageHeight = 48;
        column->children->append(CNode::NewCell(item));
    }
    objects.media.RecomputeSummaries();
}

void FrameFixture::FillSheet(int frames) {
    FillWalkColumn(objects, frames);
    frame.SendCommand(cmd::kSheetChanged);
    objects.sheet.RecomputeSummaries();
    spy.seen.clear();
}

}  // namespace kolvane::test
