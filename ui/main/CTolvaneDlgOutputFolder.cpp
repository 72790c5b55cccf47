// The output folder: Browse with its two checks, Find Target, and the write test that
// the job commands share.

#include <QComboBox>

#include <filesystem>

#include "CTolvaneDlg.h"
#include "DesktopShell.h"
#include "FolderWriteTest.h"
#include "MusicFolder.h"
#include "Settings.h"
#include "UserPrompts.h"

namespace tolvane {

namespace {

const QString kBrowseTitle = QStringLiteral("Please select output folder:");
const QString kInvalidFolder = QStringLiteral("The output folder name is invalid!");
const QString kNotWritable = QStringLiteral("没有写权限，请保存到其他目录!");
constexpr const char* kProbeFileName = "jlewhqlhqwenqfwk.mp3";

// The box's list is kept sorted, as a sorted combobox keeps it; equal entries stay.
void InsertSorted(QComboBox& box, const QString& text) {
    int index = 0;
    while (index < box.count() &&
           QString::compare(box.itemText(index), text, Qt::CaseInsensitive) <= 0)
        ++index;
    box.insertItem(index, text);
}

}  // namespace

// The probe file is made only when none of its name exists, so the test never deletes a
// file it did not make; a folder where it cannot be made counts as not writable.
bool CTolvaneDlg::WriteTestPasses(const QString& folder) {
    if (folder.isEmpty())
        return false;  // not a folder (and not the working folder)
    return FolderWriteError(folder.toStdString(), kProbeFileName) == 0;
}

void CTolvaneDlg::OnBrowse() {
    for (;;) {
        const QString folder = folderChooser_->ChooseFolder(kBrowseTitle);
        if (folder.isEmpty())
            return;  // cancelled
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(folder.toStdString()), error)) {
            ShowMessage(kInvalidFolder);
            continue;  // the browser opens again
        }
        if (!WriteTestPasses(folder)) {
            ShowMessage(kNotWritable);
            return;
        }
        outputFolderBoxText_ = folder;
        InsertSorted(*outputFolderBox_, folder);
        outputFolder_ = folder;
        SettingsFile(programFolder_).SetOutputFolder(folder.toStdString());
        UpdateData(false);
        return;
    }
}

// The user's music folder, for a box that names no folder yet; setting.ini keeps only a
// folder the user chose.
QString CTolvaneDlg::DefaultOutputFolderText() const {
    return QString::fromStdString(DefaultOutputFolder().string());
}

// Opens what the box shows now, typed text included.
void CTolvaneDlg::OnFindTarget() {
    shell_->Open(outputFolderBox_->currentText());
}

}  // namespace tolvane
