#pragma once
// Swallows key presses of chosen keys before a dialog or its controls see them, so those
// keys neither press a button nor close the dialog.

#include <QList>
#include <QObject>

class QWidget;

namespace tolvane::dialogs {

class KeySwallower : public QObject {
    Q_OBJECT
  public:
    // Qt::Key values; Enter means both the main and the keypad key.
    KeySwallower(QList<int> keys, QObject* parent);

    // Filters `dialog` and every widget inside it at the time of the call.
    void Watch(QWidget* dialog);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QList<int> keys_;
};

}  // namespace tolvane::dialogs
