#pragma once
// Column header whose first section carries a check box for all rows of its list.

#include <QHeaderView>
#include <QPixmap>
#include <array>

namespace tolvane {

class CCheckHeadCtrl : public QHeaderView {
    Q_OBJECT
  public:
    // Header images: none, empty box, ticked box.
    enum Image { kImageNone = 0, kImageUnchecked = 1, kImageChecked = 2 };

    explicit CCheckHeadCtrl(QWidget* parent = nullptr);

    // Cuts a 48 x 16 strip into three 16 x 16 images; magenta is transparent. Switches
    // the header box on (with blank images when the strip is missing).
    void SetImageStrip(const QPixmap& strip);
    bool HasImages() const { return hasImages_; }
    QPixmap ImageAt(int image) const;

    // The image shown in the first column's header (kImage...).
    int GetHeaderImage() const { return headerImage_; }
    void SetHeaderImage(int image);

    // Shows the current image in the first section again (after columns were inserted).
    void ApplyHeaderImage();

  signals:
    // The first column's header was clicked and the box toggled; `checked` is the new look.
    void headerCheckToggled(bool checked);

  private:
    void OnSectionClicked(int logicalIndex);

    std::array<QPixmap, 3> images_;
    bool hasImages_ = false;
    int headerImage_ = kImageNone;
};

}  // namespace tolvane
