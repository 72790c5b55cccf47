#include "CLabel.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>

#include "XCMemDC.h"

namespace tolvane {

CLabel::CLabel(int id, QWidget* parent)
    : QLabel(parent), id_(id), textColour_(palette().color(QPalette::WindowText)) {
    setObjectName(QString::number(id));
    setTextFormat(Qt::PlainText);
    // A plain static: left-aligned at the top, wrapping words.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CLabel::~CLabel() = default;

void CLabel::SetTextColor(const QColor& colour) {
    textColour_ = colour;
    update();
}

void CLabel::SetBkColor(const QColor& colour) {
    backgroundColour_ = colour;
    update();
}

QColor CLabel::GetBkColor() const {
    return backgroundColour_.isValid() ? backgroundColour_ : palette().color(QPalette::Window);
}

int CLabel::DrawFlags() const {
    const Qt::Alignment align = alignment();
    const QString content = text();
    int flags = 0;
    if (align & Qt::AlignVCenter) {
        flags = Qt::AlignHCenter;
        if (!content.contains(QStringLiteral("\r\n")))
            flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    } else if (align & Qt::AlignHCenter) {
        flags = Qt::AlignHCenter | Qt::TextWordWrap;
    } else if (align & Qt::AlignRight) {
        flags = Qt::AlignRight | Qt::TextWordWrap;
    } else if (!wordWrap()) {
        flags = Qt::AlignLeft;
    } else {
        flags = Qt::AlignLeft | Qt::TextWordWrap;
    }
    if (content.contains(QLatin1Char('\t')))
        flags |= Qt::TextExpandTabs;
    return flags;
}

void CLabel::paintEvent(QPaintEvent*) {
    QPainter target(this);
    XCMemDC dc(target, rect(), GetBkColor());
    QPainter& painter = dc.painter();
    if (!painter.isActive())
        return;
    painter.setFont(font());
    painter.setPen(textColour_);
    painter.drawText(contentsRect(), DrawFlags(), text());
}

void CLabel::changeEvent(QEvent* event) {
    // New system colours: repaint with the new background.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        update();
    QLabel::changeEvent(event);
}

}  // namespace tolvane
