#pragma once

// The program's entry procedure: shared state, the port dialog, the main window.
int KestrelMain(int argc, char **argv);
