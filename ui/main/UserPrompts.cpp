#include "UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tolvane {

namespace {

class DialogMessageBox final : public IMessageBox {
  public:
    void Show(QWidget* parent, const QString& text) override {
        QMessageBox box(parent);
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(QString());
        box.setText(text);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
};

class DialogFileChooser final : public IFileChooser {
  public:
    QStringList ChooseFiles(const QString& filter) override {
        return QFileDialog::getOpenFileNames(nullptr, QString(), QString(), ToQtFileFilter(filter));
    }
};

class DialogFolderChooser final : public IFolderChooser {
  public:
    QString ChooseFolder(const QString& title) override {
        return QFileDialog::getExistingDirectory(nullptr, title);
    }
};

}  // namespace

IMessageBox& SystemMessageBox() {
    static DialogMessageBox instance;
    return instance;
}

IFileChooser& SystemFileChooser() {
    static DialogFileChooser instance;
    return instance;
}

IFolderChooser& SystemFolderChooser() {
    static DialogFolderChooser instance;
    return instance;
}

QString ToQtFileFilter(const QString& pipeSeparated) {
    const QStringList parts = pipeSeparated.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty())
            continue;
        const QString ownPatterns = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (name.endsWith(ownPatterns))
            name.chop(ownPatterns.size());
        name = name.trimmed();
        filters << (name.isEmpty() ? ownPatterns : name + QLatin1Char(' ') + ownPatterns);
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace tolvane
