#pragma once
// What the window asks of the user outside its own controls: a message, a choice of
// files, a choice of folder. Behind interfaces so tests can answer them and read what the
// user was told.

#include <QString>
#include <QStringList>

class QWidget;

namespace tolvane {

class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    // A plain message with an OK button and no icon; returns when it is dismissed.
    virtual void Show(QWidget* parent, const QString& text) = 0;
};

class IFileChooser {
  public:
    virtual ~IFileChooser() = default;
    // A multi-select open dialog. `filter` is in the "name|patterns|name|patterns|" form.
    // Empty when the user cancelled.
    virtual QStringList ChooseFiles(const QString& filter) = 0;
};

class IFolderChooser {
  public:
    virtual ~IFolderChooser() = default;
    // A folder browser titled `title`; empty when the user cancelled.
    virtual QString ChooseFolder(const QString& title) = 0;
};

// The title of a message over `parent`: the program's name as its window shows it (the
// application's display name without a window).
QString MessageTitleFor(const QWidget* parent);

// The real dialogs.
IMessageBox& SystemMessageBox();
IFileChooser& SystemFileChooser();
IFolderChooser& SystemFolderChooser();

// "All audio|*.mp3;*.wav|MP3(*.mp3)|*.mp3|" → "All audio (*.mp3 *.wav);;MP3 (*.mp3)".
// A name that already ends in its own patterns in parentheses keeps them once. The
// every-file pattern "*.*" becomes "*", which also matches names without a dot.
QString ToQtFileFilter(const QString& pipeSeparated);

}  // namespace tolvane
