#pragma once

#include <memory>

#include <QLockFile>
#include <QString>

namespace kolvane {

class CMainFrame;
class CEngine;

// The application object: start-up checks, the main window, shut-down.
class CKolvaneApp {
  public:
    explicit CKolvaneApp(CEngine& objects);
    ~CKolvaneApp();

    // Runs the program and returns its exit status.
    int Run();

    // Takes the single-instance lock; false when another instance runs.
    // Locks of a process that died are taken over.
    static bool AcquireInstanceLock(QLockFile& lock);
    static QString InstanceLockPath();

    // The start-up checks of the display and the media framework: 0, or the
    // message number to show before ending.
    static int CheckSystem();

    CMainFrame* MainFrame() const { return frame_.get(); }

  private:
    CEngine& objects_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace kolvane
