// Ctrl-C as the host's cancel button. While an InterruptScope is alive, SIGINT does not end the
// process: it only counts. The first interrupt asks the run to cancel; a second one answers the
// question that follows a cancel with No.
#pragma once

// Interrupts counted since the last ResetInterrupts.
int InterruptCount();
// Counts one interrupt, exactly as the signal handler does (tests and other front ends call it).
void NoteInterrupt();
void ResetInterrupts();

class InterruptScope {
public:
    InterruptScope();   // installs the SIGINT handler
    ~InterruptScope();  // restores the previous one
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    struct Saved;
    Saved* saved_;
};
