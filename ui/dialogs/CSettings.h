#pragma once
// The output settings dialog: encoder, bit rate, sample rate and channel count of a
// join's MP3 output, or the join without re-encoding (the encoder list's second entry). OK writes
// the choice into the OutputProfile it was given; Cancel leaves it as it was. Nothing of it is
// saved.

#include <filesystem>

#include <QDialog>

#include "DialogTemplate.h"
#include "SettingsChoices.h"
#include "WindowDrag.h"

class QComboBox;
class QLabel;
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
    // The lists for the encoder, each with the wanted text selected where it has it.
    void RebuildDependentLists(const settings::SettingsSelection& wanted);
    // The bit rates the selected sample rate has; the wanted one, or the nearest with a
    // note saying so.
    void RebuildBitRates(const std::string& wantedBitRate);
    void ShowBitRateNote(const QString& text);
    settings::SettingsSelection CurrentSelection() const;
    settings::SettingsSelection SelectionInForce() const;
    void OnOk();
    // The encoder list's copy entry is chosen (a join without re-encoding).
    bool IsCopyChosen() const;
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
    QLabel* bitRateNote_ = nullptr;
    QString bitRateMovedText_;  // "%1 Hz has no %2 kbps; %3 kbps"
    QString copyEncoderText_;   // the encoder list's second entry
    QSize sizeWithoutNote_;
    bool rebuilding_ = false;  // the sample rate list is being filled, not chosen from

    WindowDrag drag_;  // a press on a free spot moves the window
};

}  // namespace tolvane
