#include "CCheckHeadCtrl.h"

#include <QAbstractItemModel>
#include <QImage>

namespace tolvane {

namespace {

constexpr int kImageSize = 16;
constexpr QRgb kMagenta = 0xFFFF00FFu;

}  // namespace

CCheckHeadCtrl::CCheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(this, &QHeaderView::sectionClicked, this, &CCheckHeadCtrl::OnSectionClicked);
}

void CCheckHeadCtrl::SetImageStrip(const QPixmap& strip) {
    // The header box works from now on, even when the pictures are missing.
    hasImages_ = true;
    const bool fromStrip = !strip.isNull();
    QImage image = strip.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xFF000000u) == kMagenta)
                line[x] = 0;
        }
    }
    for (int i = 0; i < int(images_.size()); ++i) {
        // A strip too narrow for an image leaves it blank rather than missing, so the
        // first column's text does not jump between looks.
        QImage piece(kImageSize, kImageSize, QImage::Format_ARGB32);
        piece.fill(Qt::transparent);
        if (fromStrip && image.width() >= (i + 1) * kImageSize)
            piece = image.copy(i * kImageSize, 0, kImageSize, kImageSize);
        images_[i] = QPixmap::fromImage(piece);
    }
    ApplyHeaderImage();
}

QPixmap CCheckHeadCtrl::ImageAt(int image) const {
    if (image < 0 || image >= int(images_.size()))
        return QPixmap();
    return images_[image];
}

void CCheckHeadCtrl::SetHeaderImage(int image) {
    headerImage_ = (image < kImageNone || image > kImageChecked) ? kImageNone : image;
    ApplyHeaderImage();
}

void CCheckHeadCtrl::ApplyHeaderImage() {
    QAbstractItemModel* items = model();
    if (!hasImages_ || !items || items->columnCount() == 0)
        return;
    items->setHeaderData(0, Qt::Horizontal, images_[headerImage_], Qt::DecorationRole);
}

void CCheckHeadCtrl::OnSectionClicked(int logicalIndex) {
    if (!hasImages_ || logicalIndex != 0)
        return;
    SetHeaderImage(headerImage_ == kImageUnchecked ? kImageChecked : kImageUnchecked);
    emit headerCheckToggled(headerImage_ == kImageChecked);
}

}  // namespace tolvane
