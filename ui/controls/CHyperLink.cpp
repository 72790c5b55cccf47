#include "CHyperLink.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPalette>
#include <QStyle>
#include <QTextLayout>

#include <cmath>

namespace tolvane {

CHyperLink::CHyperLink(int id, QWidget* parent, IDesktopShell& shell)
    : QLabel(parent), id_(id), shell_(shell) {
    setObjectName(QString::number(id));
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    // A plain static: text at the top left; fitting keeps the top edge.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hoverTimer_.setInterval(kHoverTimerInterval);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHyperLink::OnHoverTimer);
    PreSubclassWindow();
}

CHyperLink::~CHyperLink() {
    hoverTimer_.stop();
}

void CHyperLink::PreSubclassWindow() {
    if (address_.isEmpty())
        address_ = text();
    if (text().isEmpty())
        setText(address_);
    QFont current = font();
    current.setUnderline(false);
    standardFont_ = current;
    underlinedFont_ = current;
    underlinedFont_.setUnderline(true);
    setToolTip(address_);
    ApplyLook();
    FitToText();
}

// Only the address changes: the text stays what its owner made it, also when empty.
void CHyperLink::SetURL(const QString& address) {
    address_ = address;
    FitToText();
    setToolTip(address_);
}

void CHyperLink::SetColours(const QColor& link, const QColor& visited, const QColor& hover) {
    linkColour_ = link;
    visitedColour_ = visited;
    hoverColour_ = hover;
    ApplyLook();
}

QColor CHyperLink::GetCurrentColour() const {
    if (hovering_)
        return hoverColour_;
    return visited_ ? visitedColour_ : linkColour_;
}

void CHyperLink::SetVisited(bool visited) {
    visited_ = visited;
    ApplyLook();
}

void CHyperLink::SetUnderline(int mode) {
    underlineMode_ = mode;
    ApplyLook();
}

bool CHyperLink::IsUnderlined() const {
    return underlineMode_ == kUnderlineAlways || (underlineMode_ == kUnderlineHover && hovering_);
}

void CHyperLink::SetAutoSize(bool fitToText) {
    fitToText_ = fitToText;
    FitToText();
}

// The room the text takes as drawn: glyphs the font lacks come from fallback fonts,
// whose ascent, descent and underline can reach further than the font's own, so the text
// is laid out as the label lays it out and its height taken from that line. The underline sits in
// the descent; one pixel more keeps its thickness.
QSize CHyperLink::DrawnTextSize(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    if (!line.isValid())
        return QSize(0, metrics.height());
    const int width = metrics.horizontalAdvance(text);  // shaped with the fallbacks too
    const int height = qMax(metrics.height(), int(std::ceil(line.ascent() + line.descent())) +
                                                  (font.underline() ? metrics.lineWidth() : 0));
    return QSize(width, height);
}

// The text is measured in the underlined font, so the widget does not change size
// when the underline comes and goes.
void CHyperLink::FitToText() {
    if (!fitToText_)
        return;
    const QSize textSize = DrawnTextSize(text(), underlinedFont_);
    const QMargins frame = contentsMargins();
    const int margin = this->margin();
    const int neededWidth = textSize.width() + frame.left() + frame.right() + 2 * margin;
    const int neededHeight = textSize.height() + frame.top() + frame.bottom() + 2 * margin;
    QRect area = geometry();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter) {
        const int half = (area.height() - neededHeight) / 2;
        area.setTop(area.top() + half);
    }
    area.setHeight(neededHeight);
    if (align & Qt::AlignHCenter) {
        const int half = (area.width() - neededWidth) / 2;
        area.setLeft(area.left() + half);
        area.setWidth(neededWidth);
    } else if (align & Qt::AlignRight) {
        area.setLeft(area.right() + 1 - neededWidth);
    } else {
        area.setWidth(neededWidth);
    }
    setGeometry(area);
}

void CHyperLink::ApplyLook() {
    if (applyingLook_)
        return;
    applyingLook_ = true;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, GetCurrentColour());
    setPalette(colours);
    setFont(IsUnderlined() ? underlinedFont_ : standardFont_);
    applyingLook_ = false;
    update();
}

void CHyperLink::StartHover() {
    if (hovering_)
        return;
    hovering_ = true;
    ApplyLook();
    hoverTimer_.start();
}

void CHyperLink::EndHover() {
    hoverTimer_.stop();
    if (!hovering_)
        return;
    hovering_ = false;
    ApplyLook();
}

void CHyperLink::OnHoverTimer() {
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    if (!underMouse() && !rect().contains(pointer))
        EndHover();
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint()))
        StartHover();
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::enterEvent(QEnterEvent* event) {
    StartHover();
    QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
    EndHover();
    QLabel::leaveEvent(event);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Open();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

bool CHyperLink::Open() {
    hovering_ = false;
    hoverTimer_.stop();
    const bool opened = shell_.Open(address_);
    if (opened) {
        visited_ = true;
    } else {
        QApplication::beep();
    }
    ApplyLook();
    emit linkOpened(opened);
    return opened;
}

void CHyperLink::changeEvent(QEvent* event) {
    // A font given from outside becomes the new standard font.
    if (event->type() == QEvent::FontChange && !applyingLook_) {
        applyingLook_ = true;
        QFont current = font();
        current.setUnderline(false);
        standardFont_ = current;
        underlinedFont_ = current;
        underlinedFont_.setUnderline(true);
        applyingLook_ = false;
        ApplyLook();
        FitToText();
    }
    QLabel::changeEvent(event);
}

}  // namespace tolvane
