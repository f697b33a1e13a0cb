// tarvolin-batch: the batch from a terminal or a script, on the terminal's
// window system.
#include <string>
#include <vector>

#include "backends/terminal/terminal_window_system.h"
#include "cli/batch_command.h"
#include "platform/process.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args = tv::platform::commandLineArguments(argc, argv);
    tv::platform::prepareTerminal();
    // Questions are read only from a terminal: a script's input is never
    // taken for an answer.
    tv::TerminalWindowSystem ui(tv::platform::isTerminal(0) ? 0 : -1, 2);
    tv::Program p(ui);
    return tv::cli::runBatchCommand(p, args);
}
