#include "DialogTemplate.h"

#include <QString>
#include <QWidget>

namespace tolvane::dialogs {

void DialogItems::Register(int id, QWidget* control, const QRect& pixels) {
    control->setObjectName(QString::number(id));
    control->setGeometry(pixels);
    items_.insert(id, control);
}

}  // namespace tolvane::dialogs
