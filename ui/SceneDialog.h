#pragma once

#include <functional>

#include <QStringList>

#include "platform/ResultCodes.h"
#include "storage/SceneChooser.h"
#include "ui/RowsDialog.h"

namespace kolvane {

class CSettings;
class CTitleBar;

// Where Open Scene, Save Scene and Open Scene Timing name their scene folder:
// a project type (the preset) names the four levels below a base folder, a
// format says which images to open or how to save them, and each level offers
// the folders that exist at its place (see CSceneChooser). OK runs the
// procedure of the kind; on a failure the dialog stays open.
class CSceneDialog : public CRowsDialog {
    Q_OBJECT
  public:
    enum Field : int { kPreset, kFormat, kLevel1, kLevel2, kLevel3, kLevel4, kLevel5, kFieldCount };
    // The command each field sends: 33060 (preset) to 33066 (level 5).
    static constexpr int kFirstCommand = 33060;

    // The procedures OK runs once the dialog named a folder; each shows its
    // own progress and messages and answers its result.
    struct Procedures {
        std::function<kolvane::Result(const QString& folder, const QStringList& extensions)>
            openScene;
        std::function<kolvane::Result(const QString& folder, const QString& extension)> saveScene;
        std::function<kolvane::Result(const QString& folder)> openSceneTiming;
    };

    // `documents` holds "My Scenes", the first base (the user's documents
    // folder when none is given).
    CSceneDialog(QWidget* owner, CSettings& settings, const CTitleBar& title, Procedures procedures,
                 const QString& documents = QString());
    ~CSceneDialog() override;

    // Runs modally in kind 16 (Open Scene), 17 (Open Scene Timing) or 18
    // (Save Scene) and answers how it ended (kOk once the procedure ran).
    int Run(int kind);

    const CSceneChooser& Chooser() const { return chooser_; }
    // The labels as drawn, top to bottom.
    QStringList Labels() const;

  protected:
    void OnOpen() override;
    bool OnCommand(int id) override;
    QStringList RowLabels() const override { return Labels(); }

  private:
    void ReadLevels();
    void ShowLevels();
    void ShowLabels();
    void ShowOk();
    // True when the procedure succeeded and the dialog may close.
    bool RunProcedure();

    CSettings& settings_;
    const CTitleBar& title_;
    Procedures procedures_;
    CSceneChooser chooser_;
    int kind_ = CSceneChooser::kOpenScene;
};

}  // namespace kolvane
