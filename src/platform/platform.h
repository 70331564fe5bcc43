#pragma once

#include <functional>

class SettingsStore;
class MessageBoxes;
class Clock;

// The platform services the program reaches through adapters; the entry procedure
// fills it with the real ones, each test with its own.
struct Platform {
    SettingsStore *settings = nullptr;
    MessageBoxes *boxes = nullptr;
    Clock *clock = nullptr;
    // Ends the program at once, without any window's unload handling.
    std::function<void(int)> endProgram;
};
