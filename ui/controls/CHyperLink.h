#pragma once
// Static text that opens a web address: link, visited and hover colours, underline
// modes, a tooltip with the address and the pointing-hand cursor.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QTimer>

#include "DesktopShell.h"

namespace tolvane {

class CHyperLink : public QLabel {
    Q_OBJECT
  public:
    // Underline modes.
    static constexpr int kUnderlineHover = -1;
    static constexpr int kUnderlineAlways = 1;
    static constexpr int kUnderlineNever = 0;
    static constexpr int kHoverTimerInterval = 100;  // ms

    explicit CHyperLink(int id, QWidget* parent = nullptr,
                        IDesktopShell& shell = SystemDesktopShell());
    ~CHyperLink() override;

    int controlId() const { return id_; }

    // Attaching the link to its text: an empty address becomes the text, an empty text
    // becomes the address; takes the current font and fits the widget to the text.
    // Run by the constructor; run it again to attach a text set afterwards.
    void PreSubclassWindow();

    // Sets the address to open (and the tooltip); the text is left as it is.

    void SetURL(const QString& address);
    QString GetURL() const { return address_; }

    void SetColours(const QColor& link, const QColor& visited, const QColor& hover);
    QColor GetLinkColour() const { return linkColour_; }
    QColor GetVisitedColour() const { return visitedColour_; }
    QColor GetHoverColour() const { return hoverColour_; }
    // The colour the text is drawn in now.
    QColor GetCurrentColour() const;

    void SetVisited(bool visited);
    bool GetVisited() const { return visited_; }
    bool IsHovering() const { return hovering_; }

    void SetUnderline(int mode);
    int GetUnderline() const { return underlineMode_; }
    bool IsUnderlined() const;

    void SetAutoSize(bool fitToText);
    bool GetAutoSize() const { return fitToText_; }
    void FitToText();
    // The size `text` takes when drawn in `font`, fallback fonts' glyphs included.
    static QSize DrawnTextSize(const QString& text, const QFont& font);

    // What a click does: opens the address through the shell; false (with a beep) when
    // it could not be opened.
    bool Open();

  signals:
    void linkOpened(bool success);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void StartHover();
    void EndHover();
    void OnHoverTimer();
    void ApplyLook();

    int id_;
    IDesktopShell& shell_;
    QColor linkColour_{0, 0, 238};
    QColor visitedColour_{85, 26, 139};
    QColor hoverColour_{255, 0, 0};
    bool hovering_ = false;
    bool visited_ = false;
    int underlineMode_ = kUnderlineHover;
    bool fitToText_ = true;
    bool applyingLook_ = false;
    QString address_;
    QFont standardFont_;
    QFont underlinedFont_;
    QTimer hoverTimer_;
};

}  // namespace tolvane
