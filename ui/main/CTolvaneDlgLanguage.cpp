// The window's context menu: a right click on a free spot of the window (or the menu
// key) offers the language entries of the language list, which the window's template
// keeps hidden. Choosing one switches the language as the list's selection does.

#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>

#include "CTolvaneDlg.h"

namespace tolvane {

std::unique_ptr<QMenu> CTolvaneDlg::MakeWindowMenu() {
    auto menu = std::make_unique<QMenu>(this);
    QMenu* languages = menu->addMenu(Text("TISHI", "xzyy"));
    languages->setObjectName(QStringLiteral("languages"));
    for (int index = 0; index < languageList_->count(); ++index) {
        const QString name = languageList_->itemText(index);
        if (name.isEmpty())
            continue;  // an entry setting.ini does not name
        QAction* entry = languages->addAction(name);
        entry->setCheckable(true);
        entry->setChecked(index == languageList_->currentIndex());
        connect(entry, &QAction::triggered, this, [this, index] {
            languageList_->setCurrentIndex(index);
            SelectLanguage();
        });
    }
    languages->setEnabled(!languages->isEmpty());
    return menu;
}

QString CTolvaneDlg::NothingOpenedMessage(const QString& address) const {
    return Text("TISHI", "wfdk").arg(address);
}

void CTolvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
    MakeWindowMenu()->exec(event->globalPos());
    event->accept();
}

}  // namespace tolvane
