#include "standalone/TerminalPrompt.h"

#include <cctype>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "standalone/Interrupts.h"

std::optional<bool> ParseYesNo(const std::string& answer) {
    std::string a;
    for (char c : answer)
        if (!std::isspace(static_cast<unsigned char>(c))) a += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (a == "y" || a == "yes") return true;
    if (a == "n" || a == "no") return false;
    return std::nullopt;
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::optional<bool> AskYesNoOnTerminal(const std::string& question, std::ostream& prompt, int interruptsBefore) {
    for (;;) {
        prompt << "Murkwell: " << question << " [y/n] " << std::flush;
        std::string line;
        for (;;) {
            if (InterruptCount() > interruptsBefore) {
                prompt << "\n" << std::flush;
                return false;
            }
            pollfd p{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&p, 1, 100);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return std::nullopt;
            if (ready == 0) continue;
            char c;
            const ssize_t n = read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            if (c == '\n') break;
            line += c;
        }
        if (auto answer = ParseYesNo(line)) return answer;
    }
}
