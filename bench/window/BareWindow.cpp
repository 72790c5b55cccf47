// The reference for the window's start-up: Qt alone, an empty window of the same size.
// What Qt's own start costs on a machine (libraries, display connection, fonts) cannot
// be brought under by the program.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(560, 420);
    window.show();
    return application.exec();
}
