#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "app/CommandRouter.h"
#include "app/CommandStates.h"
#include "app/CommandTable.h"
#include "app/FrameState.h"
#include "app/GrabberCommands.h"
#include "app/IdlePump.h"
#include "app/KeyboardFilter.h"
#include "app/MainMenu.h"
#include "app/OptionsDialog.h"
#include "capture/Grabber.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "platform/StringTable.h"
#include "sound/GrabSounds.h"
#include "ui/BasicButton.h"
#include "ui/CameraDialog.h"
#include "ui/CounterBar.h"
#include "ui/GrabMainPanel.h"
#include "ui/MdiaListPanel.h"
#include "ui/MessageDialog.h"
#include "ui/MovieDialog.h"
#include "ui/PlaceholderPanel.h"
#include "ui/PlayMainPanel.h"
#include "ui/SceneDialog.h"
#include "ui/ToolPanel.h"
#include "ui/UiMetrics.h"
#include "ui/VSourceDialog.h"
#include "ui/XshtMainPanel.h"
#include "ui/XshtView.h"

namespace kolvane {
namespace {

const QColor kFrameLine(100, 120, 130);
const QColor kMainBase(100, 120, 130);

constexpr int kMsgClearScene = 60020;
constexpr int kMsgClearSceneTiming = 60021;
constexpr int kMsgExitWithoutSaving = 60024;
constexpr int kMsgCloseApplication = 60025;

}  // namespace

CMainFrame::CMainFrame(CEngine& objects, QWidget* parent)
    : QMainWindow(parent), objects_(objects), grabLevel_(std::make_unique<CAnim>(objects.media)) {
    // The audio output comes first, the display renderer after it.
    objects_.sound.Initialize();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(800, 600);
    auto* central = new QWidget(this);
    setCentralWidget(central);

    SceneLinks scene;
    scene.media = &objects_.media;
    scene.sheet = &objects_.sheet;
    scene.settings = &objects_.settings;
    scene.title = &objects_.title;
    scene.sceneState = &objects_.scene;
    scene.history = &objects_.undo;
    scene.escapeHeld = [this] { return keyboard_ != nullptr && keyboard_->EscapeHeld(); };
    scene.thumbnail = [this](const CNode& item) {
        return objects_.display.Loader().Cache().Thumbnail(item);
    };
    scene.currentFrameMoved = [this](int from) {
        if (playMain_ != nullptr) PlayerView().Engine().CurrentFrameMoved(from);
    };
    auto* mediaList = new CMdiaListPanel(*this, scene, central);
    mediaList_ = mediaList;
    mediaGrid_ = &mediaList->View();
    mediaTool_ = new CMdiaToolPanel(*this, central);
    auto* grabMain = new CGrabMainPanel(*this, objects_.capture, objects_.settings, central);
    grabMain->SetStatusHooks(
        {[this] { return grabLevel_->NextName(); },
         [this](const QRect& video) { return grabber_->EstimateFreeImages(video); }});
    grabMain->SetDisplay(&objects_.display);
    grabMain->SetGrabLevel(grabLevel_.get(), objects_.sheet, objects_.undo);
    grabMain_ = grabMain;
    receivers_.liveVideoRuns = [this] { return objects_.capture.IsReadyToGrab(); };
    receivers_.pauseLiveVideo = [this](bool paused) { objects_.capture.RunPreview(!paused); };
    receivers_.cameraName = [this] { return objects_.capture.CameraName(); };
    grabSounds_ = CGrabSounds::WithSystemVoice(
        [this](std::vector<std::int16_t> pairs) { objects_.sound.PlayCue(std::move(pairs)); });
    CGrabber::Links grabLinks = objects_.GrabberLinks(*grabLevel_);
    grabLinks.sounds = grabSounds_.get();
    grabLinks.commands = this;
    grabber_ = std::make_unique<CGrabber>(grabLinks);
    grabber_->SetRepaint([grabMain] { grabMain->Refresh(); });
    grabberCommands_ = std::make_unique<CGrabberCommands>(*this, *grabber_);
    grabMain->SetGrabberCommands(grabberCommands_.get());
    grabMain->SetShownImage([this]() -> const CNode* { return grabber_->ShownImage(); });
    receivers_.grabberLooping = [this] { return grabber_->IsLooping(); };
    receivers_.grabberDigit = [this](int digit) { grabberCommands_->GrabWithExposures(digit); };
    grabTool_ = new CGrabToolPanel(*this, central);
    auto* xshtMain = new CXshtMainPanel(*this, scene, central);
    xshtMain_ = xshtMain;
    sheetGrid_ = &xshtMain->View();
    xshtTool_ = new CXshtToolPanel(*this, central);
    auto* playMain = new CPlayMainPanel(*this, objects_.PlayLinks(), central);
    playMain_ = playMain;
    // The info strip's boxes stand under the editor's columns.
    playMain->SetEditorColumns([xshtMain] {
        return CPlayMainPanel::EditorColumns{xshtMain->Counter().width(),
                                             xshtMain->View().FirstColumn(),
                                             xshtMain->View().VisibleColumns()};
    });
    playTool_ = new CPlayToolPanel(*this, central);

    messageBox_ = new CMessageDialog(this);
    options_ = new COptionsDialog(objects_.settings, *this, this);
    camera_ = new CCameraDialog(
        objects_.settings, *this,
        [this] { return receivers_.cameraName ? receivers_.cameraName() : QString(); }, this);
    videoSource_ = new CVSourceDialog(objects_.settings, *this, this);
    receivers_.openCameraDialog = [this] { camera_->Open(); };
    receivers_.cameraDialogOpen = [this] { return camera_->IsOpen(); };
    receivers_.openVideoSourceDialog = [this] { videoSource_->Open(); };
    receivers_.videoSourceDialogOpen = [this] { return videoSource_->IsOpen(); };
    receivers_.showGrabberDialogs = [this](bool shown) {
        camera_->ShowWithArea(shown);
        videoSource_->ShowWithArea(shown);
    };
    MakeSceneAndMovieDialogs();

    facts_ = std::make_unique<CFrameFacts>(*this, objects_);
    router_ = new CCommandRouter([this](int id) { return OnFrameCommand(id); },
                                 [this](int id) { return DecideCommandState(id, *facts_); }, this);
    router_->SetTargets({mediaList, mediaTool_, grabMain, grabTool_, xshtMain, xshtTool_, playMain,
                         playTool_, camera_, videoSource_, options_});

    menu_ = new CMainMenu(
        *menuBar(), [this](int id) { return QueryCommand(id); }, this);
    connect(menu_, &CMainMenu::Command, this, &CMainFrame::OnMenuCommand);
    keyHost_ = std::make_unique<CFrameKeyboardHost>(*this);
    keyboard_ = std::make_unique<CKeyboardFilter>(*keyHost_, objects_.settings, objects_.sheet);

    objects_.title.SetCaptionSink([this](const QString& text) { setWindowTitle(text); });
    idle_ = new CIdlePump([this](int count) { return OnIdle(count); }, this);
    router_->SetAfterPosted([this] { idle_->Wake(); });
    SetPendingImageLoader([this] { return objects_.display.LoadPendingImages(false); });
    // A file that could not be read is tried again later: come back then.
    objects_.display.Loader().SetRetryScheduler([this](std::chrono::milliseconds delay) {
        QTimer::singleShot(delay, this, [this] { idle_->Wake(); });
    });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        SetScreenAspect(screen->size().width(), screen->size().height());
    }
}

CMainFrame::~CMainFrame() {
    // The panels see themselves hidden while the frame they report to is whole.
    hide();
    objects_.title.SetCaptionSink(nullptr);
    objects_.display.Loader().SetRetryScheduler(nullptr);
    objects_.display.Release();
}

void CMainFrame::SetScreenAspect(int width, int height) {
    if (width > 0 && height > 0) {
        screenWidth_ = width;
        screenHeight_ = height;
    }
    LayoutPanels();
}

void CMainFrame::SendCommand(int id) {
    router_->Send(id);
}

void CMainFrame::PostCommand(int id) {
    router_->Post(id);
}

CommandState CMainFrame::QueryCommand(int id) {
    return router_->Query(id);
}

const std::vector<ICommandTarget*>& CMainFrame::RouteOrder() const {
    return router_->Targets();
}

CPlayMainPanel& CMainFrame::PlayerView() const {
    return *static_cast<CPlayMainPanel*>(playMain_);
}

// A menu item posts its command, as a menu does; it is swallowed while Escape
// is held (the same key may be closing the menu).
void CMainFrame::OnMenuCommand(int id) {
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (!keyboard_->EscapeHeld()) SendCommand(id);
            idle_->Wake();
        },
        Qt::QueuedConnection);
}

void CMainFrame::SendAll(std::initializer_list<int> ids) {
    for (int id : ids)
        SendCommand(id);
}

void CMainFrame::SendAll(std::span<const int> ids) {
    for (int id : ids)
        SendCommand(id);
}

bool CMainFrame::OnFrameCommand(int id) {
    CSettings& settings = objects_.settings;
    switch (id) {
        case cmd::kViewMedia:
        case cmd::kViewGrabber:
        case cmd::kViewEditor:
        case cmd::kViewPlayer:
            SwitchArea(id);
            return true;
        case cmd::kOpenScene:
        case cmd::kSaveScene:
        case cmd::kOpenSceneTiming:
        case cmd::kSaveMovie:
            RunModalFrame(id);
            return true;
        case cmd::kCameraSetup:
        case cmd::kVideoSource:
            OpenGrabberDialog(id);
            return true;
        case cmd::kOptions:
            options_->Open(OptionsPage(id));
            return true;
        case cmd::kIgnoreOpacity:
            ToggleSetting(IgnoreOpacity);
            SendCommand(cmd::kPlayerRefresh);
            return true;
        case cmd::kLoadLiveView:
            ToggleSetting(LoadLiveView);
            ReloadImagesForLiveView();
            return true;
        case cmd::kSwapGrabPlayKeys:
            ToggleSetting(SwapGrabPlayKeys);
            return true;
        case cmd::kNoClickGrab:
            settings.SetNoClickGrab(!settings.NoClickGrab());
            return true;
        case cmd::kAutoStore:
            ToggleSetting(AutoStore);
            return true;
        case cmd::kResetSettings:
            ResetSettings();
            return true;
        case cmd::kStoreSettings:
            StoreSettings();
            return true;
        case cmd::kRestoreSettings:
            RestoreSettings();
            return true;
        case cmd::kExit:
            close();
            return true;
        case cmd::kPlayOnce:
            PlayOnce();
            return true;
        case cmd::kUndo:
        case cmd::kRedo:
            UndoOrRedo(id);
            return true;
        case cmd::kClearScene:
            if (Ask(kMsgClearScene)) ClearScene();
            return true;
        case cmd::kRestoreLastScene:
            if (Ask(kMsgClearScene)) RestoreLastScene();
            return true;
        case cmd::kClearSceneTiming:
            if (Ask(kMsgClearSceneTiming)) ClearSceneTiming();
            return true;
        default:
            if (id >= cmd::kMonitorAutoDetect && id <= cmd::kMonitorWide169) {
                SetMonitorType(id);
                return true;
            }
            return false;
    }
}

void CMainFrame::PlayOnce() {
    // The view to come back to when the run ends.
    int returnCommand = 0;
    if (IsAreaVisible(Area::Grabber)) returnCommand = cmd::kViewGrabber;
    if (IsAreaVisible(Area::Editor)) returnCommand = cmd::kViewEditor;
    if (IsAreaVisible(Area::Player)) returnCommand = cmd::kPlay;
    PlayerView().PlayOnce(returnCommand);
}

// The scene and movie dialogs run modally with the live video paused. A
// second request while one is open (from a nested loop) is ignored.
void CMainFrame::RunModalFrame(int command) {
    const bool movie = command == cmd::kSaveMovie;
    const auto& isOpen = movie ? receivers_.movieDialogOpen : receivers_.sceneDialogOpen;
    if (isOpen && isOpen()) return;
    const bool grabber = IsAreaVisible(Area::Grabber);
    if (grabber && receivers_.pauseLiveVideo) receivers_.pauseLiveVideo(true);
    if (movie) {
        if (receivers_.runMovieDialog) receivers_.runMovieDialog();
    } else if (receivers_.runSceneDialog) {
        receivers_.runSceneDialog(command);
    }
    if (grabber && IsAreaVisible(Area::Grabber) && receivers_.pauseLiveVideo) {
        receivers_.pauseLiveVideo(false);
    }
}

void CMainFrame::OpenGrabberDialog(int command) {
    const bool camera = command == cmd::kCameraSetup;
    const auto& isOpen = camera ? receivers_.cameraDialogOpen : receivers_.videoSourceDialogOpen;
    const auto& open = camera ? receivers_.openCameraDialog : receivers_.openVideoSourceDialog;
    if ((isOpen && isOpen()) || !open) return;
    open();
}

bool CMainFrame::IsAreaVisible(Area area) const {
    const QWidget* panel = MainPanel(area);
    return panel != nullptr && panel->isVisibleTo(this) && area_ == area;
}

QWidget* CMainFrame::MainPanel(Area area) const {
    switch (area) {
        case Area::Grabber:
            return grabMain_;
        case Area::Editor:
            return xshtMain_;
        case Area::Player:
            return playMain_;
    }
    return nullptr;
}

CToolPanel* CMainFrame::ToolPanel(int viewCommand) const {
    switch (viewCommand) {
        case cmd::kViewMedia:
            return mediaTool_;
        case cmd::kViewGrabber:
            return grabTool_;
        case cmd::kViewEditor:
            return xshtTool_;
        case cmd::kViewPlayer:
            return playTool_;
        default:
            return nullptr;
    }
}

void CMainFrame::SwitchArea(int viewCommand) {
    switch (viewCommand) {
        case cmd::kViewGrabber:
            area_ = Area::Grabber;
            break;
        case cmd::kViewEditor:
            area_ = Area::Editor;
            break;
        case cmd::kViewPlayer:
            area_ = Area::Player;
            break;
        default:
            break;  // Media is not an area: the media list always shows.
    }
    if (viewCommand != cmd::kViewMedia) {
        // Hiding the grabber stops its loop.
        if (area_ != Area::Grabber) grabber_->StopLoop();
        grabMain_->setVisible(area_ == Area::Grabber);
        xshtMain_->setVisible(area_ == Area::Editor);
        playMain_->setVisible(area_ == Area::Player);
        SendCommand(area_ == Area::Grabber  ? cmd::kGrabberRefresh
                    : area_ == Area::Editor ? cmd::kEditorRefresh
                                            : cmd::kPlayerRefresh);
    }
    mediaTool_->SetIndicatorChecked(false);
    grabTool_->SetIndicatorChecked(area_ == Area::Grabber);
    xshtTool_->SetIndicatorChecked(area_ == Area::Editor);
    playTool_->SetIndicatorChecked(area_ == Area::Player);
    if (receivers_.showGrabberDialogs) receivers_.showGrabberDialogs(area_ == Area::Grabber);
    if (options_->IsOpen()) options_->SelectPage(OptionsPage(viewCommand));
}

// The options page that goes with the area a command leaves visible: the
// editor's also for Media, which is no area of its own.
int CMainFrame::OptionsPage(int command) const {
    if (command == cmd::kViewMedia) return COptionsDialog::kEditorPage;
    switch (area_) {
        case Area::Grabber:
            return COptionsDialog::kGrabberPage;
        case Area::Editor:
            return COptionsDialog::kEditorPage;
        case Area::Player:
            return COptionsDialog::kPlayerPage;
    }
    return COptionsDialog::kEditorPage;
}

void CMainFrame::LayoutPanels() {
    if (centralWidget() == nullptr || mediaList_ == nullptr) return;
    const int w = centralWidget()->width();
    const int h = centralWidget()->height();
    const int line = LineHeight();
    const int mainHeight = (h / 10 * 9) / line * line;
    const int mainWidth = std::min(
        w, static_cast<int>(static_cast<long long>(mainHeight) * screenWidth_ / screenHeight_));
    mainArea_ = QRect(w - mainWidth, 0, mainWidth, mainHeight);

    auto place = [](QWidget* panel, const QRect& r, int inset) {
        panel->setGeometry(r.adjusted(inset, inset, -inset, -inset));
    };
    place(grabMain_, mainArea_, 2);
    place(xshtMain_, mainArea_, 1);
    place(playMain_, mainArea_, 1);

    const int leftWidth = mainArea_.left();
    place(mediaList_, QRect(0, 0, leftWidth, mainHeight), 1);
    place(mediaTool_, QRect(0, mainHeight, leftWidth, h - mainHeight), 1);

    const int third = mainWidth / 3;
    const QRect strip(mainArea_.left(), mainHeight, mainWidth, h - mainHeight);
    place(grabTool_, QRect(strip.left(), strip.top(), third, strip.height()), 1);
    place(xshtTool_, QRect(strip.left() + third, strip.top(), third, strip.height()), 1);
    place(playTool_,
          QRect(strip.left() + 2 * third, strip.top(), mainWidth - 2 * third, strip.height()), 1);
    update();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutPanels();
    CreateDisplayDevice();
}

void CMainFrame::CreateDisplayDevice() {
    // Once, at the player view's first real size; later sizes scale on
    // presentation.
    CDirect3D& display = objects_.display;
    if (display.HasDevice() || playMain_->size().isEmpty()) return;
    const QScreen* screen = this->screen();
    display.CreateDevice(playMain_->size(), screen != nullptr ? screen->depth() : 32);
    idle_->Wake();
}

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!mainArea_.isEmpty() && centralWidget() != nullptr) {
        painter.setPen(kFrameLine);
        const QRect frameRect = mainArea_.translated(centralWidget()->pos());
        painter.drawRect(frameRect.adjusted(0, 0, -1, -1));
    }
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        OnFirstShow();
    }
}

void CMainFrame::OnFirstShow() {
    if (const int error = objects_.capture.ConstructionError())
        ShowMessage(CMessageDialog::kError, error);
    ResumeWorkingScene();
}

// Open Scene, Save Scene, Open Scene Timing and Save Movie run these
// dialogs modally (RunModalFrame).
void CMainFrame::MakeSceneAndMovieDialogs() {
    CSceneDialog::Procedures procedures;
    procedures.openScene = [this](const QString& folder, const QStringList& extensions) {
        return OpenScene(folder, extensions);
    };
    procedures.saveScene = [this](const QString& folder, const QString& extension) {
        return SaveScene(folder, extension);
    };
    procedures.openSceneTiming = [this](const QString& folder) { return OpenSceneTiming(folder); };
    sceneDialog_ = new CSceneDialog(this, objects_.settings, objects_.title, std::move(procedures));
    receivers_.runSceneDialog = [this](int command) {
        sceneDialog_->Run(command == cmd::kOpenScene         ? CSceneChooser::kOpenScene
                          : command == cmd::kOpenSceneTiming ? CSceneChooser::kOpenSceneTiming
                                                             : CSceneChooser::kSaveScene);
    };
    receivers_.sceneDialogOpen = [this] { return sceneDialog_->IsOpen(); };
    movieDialog_ =
        new CMovieDialog(this, objects_.settings, objects_.sheet, objects_.movie.Writer());
    receivers_.runMovieDialog = [this] { movieDialog_->Run(); };
    receivers_.movieDialogOpen = [this] { return movieDialog_->IsOpen(); };
}

bool CMainFrame::OnIdle(int count) {
    if (QApplication::focusWidget() == nullptr && isActiveWindow()) setFocus();
    if (count == 0) UpdateToolPanelStates();
    if (count < 3) return true;
    const bool loaded = loadOneImage_ ? loadOneImage_() : false;
    // A picture just loaded shows as a thumbnail.
    if (loaded) {
        mediaGrid_->RedrawCells();
        if (xshtMain_->isVisible()) sheetGrid_->RedrawCells();
    }
    return loaded;
}

void CMainFrame::UpdateToolPanelStates() {
    const auto query = [this](int id) { return QueryCommand(id); };
    for (CToolPanel* panel : {mediaTool_, grabTool_, xshtTool_, playTool_}) {
        panel->UpdateCommandStates(query);
    }
    playTool_->Button(cmd::kPlay)->SetText(PlayButtonText(PlayerView().Engine().IsPlaying()));
}

bool CMainFrame::Ask(int messageId) {
    return messageBox_->Show(CMessageDialog::kConfirm, messageId) == CBasicDialog::kYes;
}

void CMainFrame::Inform(int messageId) {
    messageBox_->Show(CMessageDialog::kInformation, messageId);
}

int CMainFrame::ShowMessage(int kind, int messageId) {
    return messageBox_->Show(kind, messageId);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (isMinimized()) showNormal();
    const int question =
        objects_.scene.HasUnsavedChanges() ? kMsgExitWithoutSaving : kMsgCloseApplication;
    if (!Ask(question)) {
        event->ignore();
        return;
    }
    closing_ = true;
    // After a normal exit the next start resumes nothing; the scene is one
    // Restore Last Scene away.
    objects_.storage.CloseScene();
    event->accept();
}

}  // namespace kolvane
