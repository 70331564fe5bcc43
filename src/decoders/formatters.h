#pragma once

#include <QString>

// A byte as exactly two upper-case hexadecimal digits: 0xCA gives "CA", 5 gives "05".
QString HexByte(int byte);
