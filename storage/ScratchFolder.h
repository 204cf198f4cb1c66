#pragma once

#include <QString>
#include <QTemporaryDir>

namespace kolvane {

// The working folders of a process without the desktop (kolvane-tool, a
// benchmark): "<temporary folder>/<application name>-<pid>-XXXXXX", removed
// when the object goes. A process that is killed cannot remove its own, so
// making one first removes those whose process is gone.
class CScratchFolder {
  public:
    CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    bool isValid() const { return folder_.isValid(); }
    QString path() const { return folder_.path(); }

    // Removes the folders "<prefix>-<pid>-XXXXXX" in `parent` of processes
    // that no longer run, and the older "<prefix>-XXXXXX" (no pid in the name)
    // that nothing has changed for a day. Only the user's own are touched.
    static void RemoveStale(const QString& parent, const QString& prefix);

  private:
    QTemporaryDir folder_;
};

}  // namespace kolvane
