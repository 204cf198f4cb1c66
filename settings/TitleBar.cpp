#include "settings/TitleBar.h"

#include "settings/Settings.h"

namespace kolvane {

CTitleBar::CTitleBar(const CSettings& settings) : settings_(settings) {}

void CTitleBar::SetCaptionSink(std::function<void(const QString&)> sink) {
    sink_ = std::move(sink);
    Rebuild();
}

void CTitleBar::SetSceneName(const QString& name) {
    QString stripped = name;
    while (stripped.endsWith(u'/') && stripped.size() > 1)
        stripped.chop(1);
    if (stripped.isEmpty()) stripped = QStringLiteral("Untitled");
    if (stripped == sceneName_) return;
    sceneName_ = stripped;
    Rebuild();
}

void CTitleBar::SetMark(const QString& mark) {
    if (mark == mark_) return;
    mark_ = mark;
    Rebuild();
}

void CTitleBar::SetImageCount(int count) {
    if (count == imageCount_) return;
    imageCount_ = count;
    Rebuild();
}

void CTitleBar::SetFrameCount(int count) {
    if (count == frameCount_) return;
    frameCount_ = count;
    Rebuild();
}

void CTitleBar::Reset() {
    SetSceneName(QString());
    SetMark(QString());
    SetImageCount(0);
    SetFrameCount(0);
}

void CTitleBar::Rebuild() {
    const int rate = settings_.Get(FrameRate);
    const int images = std::max(imageCount_, 0);
    const int frames = std::max(frameCount_, 0);
    const double seconds = rate > 0 ? static_cast<double>(frames) / rate : 0.0;
    const QString name = sceneName_.isEmpty() ? QStringLiteral("Untitled") : sceneName_;
    // Concatenated, not arg()-formatted: a scene folder may be named "%4".
    // QString::number is locale-independent, so the title always reads "0.00".
    text_ = QString::fromLatin1(kProduct) + QStringLiteral("     Scene: ") + name + u' ' + mark_ +
            QStringLiteral("     ") + QString::number(images) + QStringLiteral(" images     ") +
            QString::number(frames) + QStringLiteral(" frames (") +
            QString::number(seconds, 'f', 2).rightJustified(4) + QStringLiteral(" seconds at ") +
            QString::number(rate) + QStringLiteral(" fps)");
    if (sink_) sink_(text_);
}

}  // namespace kolvane
