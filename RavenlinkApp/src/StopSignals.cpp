#include "StopSignals.h"

#include <initializer_list>

#include <unistd.h>

volatile std::sig_atomic_t exitRequested = 0;

extern "C" void handleInterrupt(int /*signalNumber*/)
{
    // The operator asked once already and the console is still busy, most
    // likely in a command's long wait: leave now. _exit is safe here, and
    // the kernel closes the port with every other descriptor.
    if (exitRequested != 0) {
        _exit(0);
    }
    exitRequested = 1;
}

void installStopHandlers()
{
    // signal() keeps interrupted calls restarting. Only the wait for the
    // operator's input has to return on a stop signal, and it does so by
    // itself (OperatorInput); a write of a command's outcome that a signal
    // interrupted is finished instead of being cut short.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signalNumber, handleInterrupt);
        sigaddset(&stopSignals, signalNumber);
    }
    // A mask inherited from whoever started us must not hold them back.
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
}
