#pragma once
// The output settings dialog: encoder, bit rate, sample rate and channel count of a
// join's MP3 output. OK writes the choice into the OutputProfile it was given; Cancel
// leaves it as it was. Nothing of it is saved.

#include <filesystem>

#include <QDialog>

#include "DialogTemplate.h"
#include "WindowDrag.h"

class QComboBox;
class QPushButton;

namespace tolvane {

struct OutputProfile;

class CSettings : public QDialog {
    Q_OBJECT
  public:
    // `programFolder` holds setting.ini and languages/; empty: the program's own folder.
    explicit CSettings(OutputProfile& profile, QWidget* owner = nullptr,
                       std::filesystem::path programFolder = {});
    ~CSettings() override;

    // The control with a template id (SettingsDialogId), or nullptr.
    QWidget* GetDlgItem(int id) const { return items_.Get(id); }
    // One of the drop-down lists by id, or nullptr.
    QComboBox* List(int id) const;

  protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void CreateControls();
    void ConnectMessageTable();
    void OnInitDialog();
    void FitLabelsToTexts();
    void RebuildDependentLists();
    void OnOk();
    std::filesystem::path ProgramFolderInUse() const;

    OutputProfile& profile_;
    std::filesystem::path programFolder_;
    dialogs::DialogItems items_;

    QComboBox* encoder_ = nullptr;
    QComboBox* bitRate_ = nullptr;
    QComboBox* sampleRate_ = nullptr;
    QComboBox* channels_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;

    WindowDrag drag_;  // a press on a free spot moves the window
};

}  // namespace tolvane
