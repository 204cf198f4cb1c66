#pragma once

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include <QMainWindow>

#include "platform/Commands.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CAnim;
class CGrabber;
class CGrabberCommands;
class CGrabSounds;
class CEngine;
class CToolPanel;
class CIdlePump;
class CMessageDialog;
class CCameraDialog;
class CVSourceDialog;
class CMovieDialog;
class COptionsDialog;
class CSceneDialog;
class CPlayMainPanel;
class CSelectView;
class CCommandRouter;
class CMainMenu;
class CKeyboardFilter;
class CFrameFacts;
class CFrameKeyboardHost;

// The one top-level window: owns the four work areas (a main and a tool panel
// each) and the dialogs, routes every command, and lays the panels out.
class CMainFrame : public QMainWindow, public ICommandSink {
    Q_OBJECT
  public:
    enum class Area { Grabber, Editor, Player };

    explicit CMainFrame(CEngine& objects, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ICommandSink: a command is offered to the panels and dialogs in the
    // fixed routing order, then handled by the frame.
    void SendCommand(int id) override;
    void PostCommand(int id) override;
    // Enabled, checked and menu text, by the same route, ending in the rules.
    CommandState QueryCommand(int id);
    // The panels and dialogs in routing order.
    const std::vector<ICommandTarget*>& RouteOrder() const;

    // Receivers other work builds later. Until its hook is set, a command
    // routes and follows the enable rules, then ends here without effect, and
    // a state reads as not running, not open, not there.
    struct LaterReceivers {
        // The scene dialog, run modally in the mode of 32801, 32802 or 32805.
        std::function<void(int command)> runSceneDialog;
        std::function<bool()> sceneDialogOpen;
        std::function<void()> runMovieDialog;
        std::function<bool()> movieDialogOpen;
        // The camera and video source dialogs: modeless, shown only with the
        // grabber. They route between the player tool panel and the options.
        std::function<void()> openCameraDialog;
        std::function<bool()> cameraDialogOpen;
        std::function<void()> openVideoSourceDialog;
        std::function<bool()> videoSourceDialogOpen;
        std::function<void(bool shown)> showGrabberDialogs;
        // The grabber panel.
        std::function<bool()> liveVideoRuns;
        std::function<bool()> grabberLooping;
        std::function<void(bool paused)> pauseLiveVideo;
        std::function<void(int digit)> grabberDigit;  // numeric keypad 1 to 9
        // The connected camera's model name, empty without a camera.
        std::function<QString()> cameraName;
    };
    LaterReceivers& Receivers() { return receivers_; }

    Area ActiveArea() const { return area_; }
    bool IsAreaVisible(Area area) const;
    QWidget* MainPanel(Area area) const;
    CToolPanel* ToolPanel(int viewCommand) const;
    QWidget* MediaListPanel() const { return mediaList_; }
    CPlayMainPanel& PlayerView() const;
    CCommandRouter& Router() { return *router_; }
    CMainMenu& Menu() { return *menu_; }
    CKeyboardFilter& Keyboard() { return *keyboard_; }

    // The hook the image loader fills: loads at most one pending image and
    // answers whether one was loaded.
    void SetPendingImageLoader(std::function<bool()> loader) { loadOneImage_ = std::move(loader); }
    CIdlePump& IdlePump() { return *idle_; }

    // Shows message `id` as a question (true for yes) or a notice.
    bool Ask(int messageId);
    void Inform(int messageId);
    // The program's message box: kind 1-5, a message number or result code.
    int ShowMessage(int kind, int messageId);
    CMessageDialog& MessageBox() { return *messageBox_; }
    COptionsDialog& OptionsDialog() { return *options_; }
    CCameraDialog& CameraDialog() { return *camera_; }
    CVSourceDialog& VideoSourceDialog() { return *videoSource_; }
    CSceneDialog& SceneDialog() { return *sceneDialog_; }
    CMovieDialog& MovieDialog() { return *movieDialog_; }
    // Enables the tool panels' buttons by the commands' states (when idle).
    void UpdateToolPanelStates();

    // Screen aspect used for the main area (width × 1000 / height).
    void SetScreenAspect(int width, int height);

    // What the scene dialog runs once confirmed: the procedure, the panels'
    // refresh, and the error shown. Open Scene first clears a scene that is
    // there (asking), Open Scene Timing first clears the timing (asking).
    Result OpenScene(const QString& folder, const QStringList& extensions);
    Result SaveScene(const QString& folder, const QString& extension);
    Result OpenSceneTiming(const QString& folder);
    // The naming of the level the grabber grabs into.
    CAnim& GrabLevel() { return *grabLevel_; }
    CGrabber& Grabber() { return *grabber_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool OnFrameCommand(int id);
    void SwitchArea(int viewCommand);
    int OptionsPage(int command) const;
    void LayoutPanels();
    void OnFirstShow();
    bool OnIdle(int count);
    void SendAll(std::initializer_list<int> ids);
    void SendAll(std::span<const int> ids);  // a list of FrameRefresh.h
    void UndoOrRedo(int id);
    void ToggleSetting(int index);
    void PlayOnce();
    void OnMenuCommand(int id);
    void RunModalFrame(int command);
    void OpenGrabberDialog(int command);
    void SetMonitorType(int command);
    void CreateDisplayDevice();
    void ReloadImagesForLiveView();
    void ResumeWorkingScene();
    void ClearScene();
    void RestoreLastScene();
    void ClearSceneTiming();
    // A scene procedure's failure, with the file or folder it failed at.
    void ShowSceneError(Result result);
    void ResetSettings();
    void StoreSettings();
    void RestoreSettings();
    void MakeSceneAndMovieDialogs();

    CEngine& objects_;
    QWidget* mediaList_ = nullptr;
    CToolPanel* mediaTool_ = nullptr;
    QWidget* grabMain_ = nullptr;
    CToolPanel* grabTool_ = nullptr;
    QWidget* xshtMain_ = nullptr;
    CSelectView* mediaGrid_ = nullptr;  // the media list's and the editor's cells
    CSelectView* sheetGrid_ = nullptr;
    CToolPanel* xshtTool_ = nullptr;
    QWidget* playMain_ = nullptr;
    CToolPanel* playTool_ = nullptr;
    LaterReceivers receivers_;
    std::unique_ptr<CFrameFacts> facts_;
    std::unique_ptr<CFrameKeyboardHost> keyHost_;
    std::unique_ptr<CKeyboardFilter> keyboard_;  // goes before the host it asks
    CCommandRouter* router_ = nullptr;
    CMainMenu* menu_ = nullptr;
    CMessageDialog* messageBox_ = nullptr;
    COptionsDialog* options_ = nullptr;
    CCameraDialog* camera_ = nullptr;
    CVSourceDialog* videoSource_ = nullptr;
    CSceneDialog* sceneDialog_ = nullptr;
    CMovieDialog* movieDialog_ = nullptr;
    CIdlePump* idle_ = nullptr;
    std::function<bool()> loadOneImage_;
    std::unique_ptr<CAnim> grabLevel_;
    std::unique_ptr<CGrabSounds> grabSounds_;
    std::unique_ptr<CGrabber> grabber_;  // after what it links to
    std::unique_ptr<CGrabberCommands> grabberCommands_;
    bool inSceneProcedure_ = false;  // the scene dialog's procedure runs
    Area area_ = Area::Grabber;
    QRect mainArea_;
    int screenWidth_ = 4;
    int screenHeight_ = 3;
    bool shownOnce_ = false;
    bool closing_ = false;
};

}  // namespace kolvane
