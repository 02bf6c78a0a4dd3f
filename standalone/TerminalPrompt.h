// A yes/no question at the terminal: the question goes to `prompt`, the answer is read from
// standard input. A further Ctrl-C while waiting answers No; end of input gives no answer.
#pragma once
#include <optional>
#include <ostream>
#include <string>

// True for yes, false for no, nullopt when standard input ended without an answer.
// `interruptsBefore` is the interrupt count when the question was asked; any further interrupt
// answers No.
std::optional<bool> AskYesNoOnTerminal(const std::string& question, std::ostream& prompt, int interruptsBefore);

// Parses an answer line: y, yes, n, no (any case, surrounding blanks ignored).
std::optional<bool> ParseYesNo(const std::string& answer);

// Whether standard input and standard error are terminals.
bool StdinIsTerminal();
bool StderrIsTerminal();
