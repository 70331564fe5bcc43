#pragma once

// Makes SIGINT, SIGTERM and SIGHUP quit the application's event loop, so that a
// command-line program interrupted by its user still cleans up in the normal way.
// Call once, after the QCoreApplication exists. False when the pipe cannot be made.
bool quitOnTerminationSignals();
