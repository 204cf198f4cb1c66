#pragma once

#include <functional>

#include <QString>

namespace kolvane {

class CSettings;

// The main window's title line: scene name, changed mark, image and frame
// counts. Every change rebuilds the text and hands it to the window.
class CTitleBar {
  public:
    static constexpr const char* kProduct = "Kolvane 1.77";

    explicit CTitleBar(const CSettings& settings);

    // Where the rebuilt text goes (the main window's caption), once one exists.
    void SetCaptionSink(std::function<void(const QString&)> sink);

    void SetSceneName(const QString& name);
    void SetMark(const QString& mark);
    // The scene's state as the mark: "*" while it has unsaved changes.
    void ShowUnsavedChanges(bool unsaved) { SetMark(unsaved ? QStringLiteral("*") : QString()); }
    void SetImageCount(int count);
    void SetFrameCount(int count);
    // Empty name, empty mark, counts 0.
    void Reset();
    // Rebuilds with the current frame rate (after it changed).
    void Refresh() { Rebuild(); }

    const QString& Text() const { return text_; }
    const QString& SceneName() const { return sceneName_; }
    const QString& Mark() const { return mark_; }
    // Whether the line shows the mark (the scene's own state is CSceneState).
    bool IsChanged() const { return !mark_.isEmpty(); }
    int ImageCount() const { return imageCount_; }
    int FrameCount() const { return frameCount_; }

  private:
    void Rebuild();

    const CSettings& settings_;
    std::function<void(const QString&)> sink_;
    QString text_;
    QString sceneName_;
    QString mark_;
    int imageCount_ = -2;
    int frameCount_ = -2;
};

}  // namespace kolvane
