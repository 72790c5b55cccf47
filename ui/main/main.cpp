#include <QApplication>

#include "CTolvaneApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    tolvane::CTolvaneApp tolvane;
    return tolvane.Run();
}
