#pragma once
// Static text painted through an off-screen buffer, so text rewritten while a job runs
// does not flicker.
//
// Layout follows the label's alignment: horizontally centred or right-aligned text
// wraps; left-aligned text wraps unless word wrap is switched off; Qt::AlignVCenter
// centres horizontally too, and vertically on one line when the text has no "\r\n".
// Tabs are expanded.

#include <QColor>
#include <QLabel>
#include <QString>

namespace tolvane {

class CLabel : public QLabel {
    Q_OBJECT
  public:
    explicit CLabel(int id, QWidget* parent = nullptr);
    ~CLabel() override;

    int controlId() const { return id_; }

    void SetText(const QString& text) { setText(text); }
    QString GetText() const { return text(); }

    void SetTextColor(const QColor& colour);
    QColor GetTextColor() const { return textColour_; }
    // Default: the window's background colour of the palette.
    void SetBkColor(const QColor& colour);
    QColor GetBkColor() const;

    // The Qt text flags the current alignment and text give.
    int DrawFlags() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    int id_;
    QColor textColour_;
    QColor backgroundColour_;  // invalid: follow the palette
};

}  // namespace tolvane
