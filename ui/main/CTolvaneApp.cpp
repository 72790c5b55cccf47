#include "CTolvaneApp.h"

namespace tolvane {

CTolvaneApp::CTolvaneApp(std::function<CTolvaneDlg::Services()> makeServices)
    : makeServices_(std::move(makeServices)) {}

int CTolvaneApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CTolvaneApp::InitInstance() {
    CTolvaneDlg window(makeServices_ ? makeServices_() : CTolvaneDlg::Services{});
    if (hook_)
        hook_(window);
    lastDialogResult_ = window.exec();
    return false;
}

int CTolvaneApp::ExitInstance() {
    return 0;
}

}  // namespace tolvane
