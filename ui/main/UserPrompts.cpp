#include "UserPrompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

namespace tolvane {

namespace {

class DialogMessageBox final : public IMessageBox {
  public:
    void Show(QWidget* parent, const QString& text) override {
        QMessageBox box(parent);
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(MessageTitleFor(parent));
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

QString MessageTitleFor(const QWidget* parent) {
    const QString title = parent ? parent->window()->windowTitle() : QString();
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

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
        const QString listed = parts[i + 1].trimmed();
        if (listed.isEmpty())
            continue;
        // "*.*" means every file where it comes from; here it would hide names without a
        // dot, so it becomes "*".
        QStringList patternList = listed.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patternList) {
            pattern = pattern.trimmed();
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        }
        const QString patterns = patternList.join(QLatin1Char(' '));
        const QString listedPatterns = QLatin1Char('(') +
                                       QString(listed).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                                       QLatin1Char(')');
        const QString ownPatterns = QLatin1Char('(') + patterns + QLatin1Char(')');
        for (const QString& shown : {listedPatterns, ownPatterns}) {
            if (name.endsWith(shown)) {
                name.chop(shown.size());
                break;
            }
        }
        name = name.trimmed();
        filters << (name.isEmpty() ? ownPatterns : name + QLatin1Char(' ') + ownPatterns);
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace tolvane
