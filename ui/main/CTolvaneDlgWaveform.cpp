// The position slider's optional waveform of the loaded file: chosen from the slider's
// context menu, remembered in setting.ini, read on the peak reader's own thread and
// drawn in as its columns arrive.

#include "CBitmapSlider.h"
#include "CTolvaneDlg.h"
#include "Settings.h"

#include <QMenu>

namespace tolvane {

namespace {
constexpr int kWaveformTickMs = 25;
}  // namespace

// The waveform's pictures are made when a file's waveform is first read, not while the
// window starts: most starts never show one.
void CTolvaneDlg::SetUpFileWaveform() {
    slider_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(slider_, &QWidget::customContextMenuRequested, this, &CTolvaneDlg::ShowSliderMenu);
    waveformTimer_.setInterval(kWaveformTickMs);
    connect(&waveformTimer_, &QTimer::timeout, this, &CTolvaneDlg::OnWaveformTimer);
}

void CTolvaneDlg::ShowSliderMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* show = menu.addAction(Text("TISHI", "xsbx"));
    show->setCheckable(true);
    show->setChecked(showFileWaveform_);
    if (menu.exec(slider_->mapToGlobal(at)) == show)
        SetShowFileWaveform(!showFileWaveform_);
}

void CTolvaneDlg::SetShowFileWaveform(bool show) {
    showFileWaveform_ = show;
    SettingsFile(programFolder_).SetShowFileWaveform(show);
    if (show) {
        ReadFileWaveform();
    } else if (fileWaveform_) {
        StopFileWaveform();  // back to the fixed pictures
        slider_->SetTrackBitmaps(fileWaveform_->Normal(), fileWaveform_->Highlighted());
    }
    UpdateSliderTimeline();
}

void CTolvaneDlg::ReadFileWaveform() {
    if (!showFileWaveform_ || currentFile_.isEmpty())
        return;
    if (!fileWaveform_) {
        // The slider still shows its fixed pictures: they are what the waveform replaces.
        fileWaveform_ =
            std::make_unique<ui::FileWaveform>(slider_->NormalTrack(), slider_->HighlightedTrack());
    }
    fileWaveform_->Load(currentFile_.toStdString(), currentFileProbe_.durationUs);
    // The fixed pictures show until the first columns are in.
    slider_->SetTrackBitmaps(fileWaveform_->Normal(), fileWaveform_->Highlighted());
    waveformTimer_.start();
    UpdateSliderTimeline();
}

void CTolvaneDlg::OnWaveformTimer() {
    if (!fileWaveform_) {
        waveformTimer_.stop();
        return;
    }
    if (fileWaveform_->Update())
        slider_->SetTrackBitmaps(fileWaveform_->Normal(), fileWaveform_->Highlighted());
    if (!fileWaveform_->Reading())
        waveformTimer_.stop();
}

void CTolvaneDlg::StopFileWaveform() {
    waveformTimer_.stop();
    if (fileWaveform_)
        fileWaveform_->Clear();
}

}  // namespace tolvane
