#pragma once

// Makes SIGINT, SIGTERM and SIGHUP quit the application's event loop, so that a
// command-line program interrupted by its user still cleans up in the normal way.
// Call once, after the QCoreApplication exists. False when the pipe cannot be made.
bool quitOnTerminationSignals();
// True once such a signal has come and the event loop has not yet taken it: work that
// runs before or outside the loop (reading a FIFO) asks this to stop in time.
bool terminationSignalPending();
// The signal that came (SIGINT, SIGTERM, SIGHUP), taken from the queue; 0 when none.
int takeTerminationSignal();
