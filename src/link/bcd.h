#pragma once

#include <QtGlobal>
#include <algorithm>
#include <initializer_list>

// Packed BCD: two decimal digits to a byte, high nibble first (0x59 is 59). The receiver
// also puts flags where a digit could stand (0xA for north, east or plus), so a nibble
// above 9 is no digit: a number read from the nibbles ends just before it.

// Nibbles read as the decimal digits of one number, up to the first that is no digit.
constexpr int bcdDigitsValue(std::initializer_list<int> nibbles)
{
    int value = 0;
    for (const int nibble : nibbles) {
        if (nibble < 0 || nibble > 9)
            return value;
        value = value * 10 + nibble;
    }
    return value;
}

// Packed BCD bytes read as one decimal number, up to the first nibble that is no digit:
// 0x59 is 59, 0x5A is 5, 0xA5 is 0, and 0x12 0x3A is 123.
constexpr int bcdValue(std::initializer_list<quint8> bytes)
{
    int value = 0;
    for (const quint8 b : bytes) {
        if ((b >> 4) > 9)
            return value;
        if ((b & 15) > 9)
            return value * 10 + (b >> 4);
        value = value * 100 + (b >> 4) * 10 + (b & 15);
    }
    return value;
}

constexpr int bcdValue(quint8 b)
{
    return bcdValue({b});
}

// Whether both nibbles are decimal digits.
constexpr bool isBcd(quint8 b)
{
    return (b >> 4) <= 9 && (b & 15) <= 9;
}

// A number of two decimal digits as one byte; beyond 0..99 the nearest of the two is sent.
constexpr quint8 toBcd(int value)
{
    value = std::clamp(value, 0, 99);
    return quint8((value / 10) << 4 | value % 10);
}
