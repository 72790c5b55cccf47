#include "KeySwallower.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace tolvane::dialogs {

KeySwallower::KeySwallower(QList<int> keys, QObject* parent)
    : QObject(parent), keys_(std::move(keys)) {
    // The keypad Enter is the same key as Return to the user.
    if (keys_.contains(Qt::Key_Return) && !keys_.contains(Qt::Key_Enter))
        keys_.append(Qt::Key_Enter);
}

void KeySwallower::Watch(QWidget* dialog) {
    dialog->installEventFilter(this);
    for (QWidget* child : dialog->findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool KeySwallower::eventFilter(QObject* watched, QEvent* event) {
    // ShortcutOverride too, so no shortcut bound to the key fires either.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (keys_.contains(key->key())) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tolvane::dialogs
