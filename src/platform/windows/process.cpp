#include "platform/process.h"

#include <io.h>

#include <atomic>
#include <csignal>

#include "platform/windows/wide.h"

#include <shellapi.h>

namespace tv::platform {

namespace {

// The console calls its handler on a thread of its own, with no way to pass
// it anything: what it saw is kept here, for this process only.
std::atomic<int> pendingSignal{0};
HANDLE signalled = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    int number = 0;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: number = SIGINT; break;
    case CTRL_CLOSE_EVENT: number = 1; break;  // as a hang-up
    default: number = SIGTERM; break;           // log-off, shut-down
    }
    int none = 0;
    pendingSignal.compare_exchange_strong(none, number);
    if (signalled) SetEvent(signalled);
    // A closing console ends the process once this returns: wait here while
    // the batch abandons its photo and the program ends on its own.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(INFINITE);
    return TRUE;
}

HANDLE consoleOf(int fd) {
    return GetStdHandle(fd == 0 ? STD_INPUT_HANDLE : fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    (void)argc;
    (void)argv;  // in the code page: names outside it would arrive as "?"
    std::vector<std::string> args;
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return args;
    for (int i = 1; i < n; ++i) args.push_back(win::narrow(wide[i]));
    LocalFree(wide);
    return args;
}

void prepareTerminal() {
    SetConsoleOutputCP(CP_UTF8);
    for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE h = GetStdHandle(which);
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode)) SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

bool isTerminal(int fd) {
    DWORD mode = 0;
    // A console, not merely a character device such as NUL.
    return _isatty(fd) != 0 && GetConsoleMode(consoleOf(fd), &mode) != 0;
}

int terminalColumns(int fd) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(consoleOf(fd), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void holdStopSignals() {
    if (!signalled) signalled = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int waitForStopSignal(int timeoutMs) {
    if (!signalled) return 0;
    if (WaitForSingleObject(signalled, timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return 0;
    return pendingSignal.exchange(0);
}

}  // namespace tv::platform
