#include "cli/ConsoleInterrupt.h"

#include <windows.h>

namespace querna::cli {

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    RequestInterrupt();
    return TRUE;
}

}  // namespace

void InstallInterruptHandler() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

const std::atomic<bool>& InterruptFlag() {
    return interrupted;
}

void RequestInterrupt() {
    interrupted.store(true);
}

}  // namespace querna::cli
