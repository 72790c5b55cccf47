#include "CTolvaneApp.h"

#include "TerminationSignals.h"

namespace tolvane {

namespace {

constexpr int kExitSignalBase = 128;

}  // namespace

CTolvaneApp::CTolvaneApp(std::function<CTolvaneDlg::Services()> makeServices)
    : makeServices_(std::move(makeServices)) {}

int CTolvaneApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CTolvaneApp::InitInstance() {
    CTolvaneDlg window(makeServices_ ? makeServices_() : CTolvaneDlg::Services{});
    const TerminationSignalWatcher terminationWatcher(
        [&window](int) { window.CloseFromAnyState(); });
    if (hook_)
        hook_(window);
    lastDialogResult_ = window.exec();
    endingSignal_ = terminationWatcher.received();
    return false;
}

int CTolvaneApp::ExitInstance() {
    return endingSignal_ != 0 ? kExitSignalBase + endingSignal_ : 0;
}

}  // namespace tolvane
