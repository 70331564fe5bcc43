#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// The receiver's frame types. Every frame is the type twice, a payload, a checksum
// that makes the 8-bit sum zero, and a carriage return.
namespace Msg {
enum Type : quint8 {
    Mode = 0xC3,
    Diagnosis = 0xC4,
    TimeStamps = 0xC5,
    Condition = 0xC6,
    Navigation = 0xCA,
    Satellites = 0xCB,
    SetPosition = 0xB0,
    SetHeight = 0xB1,
    // Set time with six payload bytes, time-stamp reset with one.
    SetTime = 0xB2,
    SystemReset = 0xB6,
    // The receiver answers it like any other request; the program sends it on activation.
    B7 = 0xB7,
    // Sent before each setup command, which the receiver takes only behind it.
    Prepare = 0xB8,
    ColdStart = 0xB9,
};
} // namespace Msg

// The carriage return that ends every frame.
constexpr quint8 kFrameEnd = 13;
// Type, type, checksum and terminator around the payload.
constexpr int kFrameOverhead = 4;

// Who sends a frame of the type to the program.
enum class MessageOrigin {
    // A data message, sent when the program asks with a frame of the same type.
    Receiver,
    // The receiver echoes the program's command as a four-byte frame of its type.
    Acknowledgement,
};

// One frame length the program sends a type in, and the name the user knows that
// command by, if it is one whose acknowledgement the status line reports.
struct SentForm {
    quint8 length = 0;
    const char *command = nullptr;
};

struct MessageType {
    Msg::Type type;
    // The total length of the frame the receiver sends.
    quint8 length;
    // The name the command-line tools use.
    const char *name;
    MessageOrigin origin;
    std::array<SentForm, 2> sent;
};

// In the framer's search order.
inline constexpr std::array<MessageType, 13> kMessageTypes = {{
    {Msg::Mode, 11, "mode", MessageOrigin::Receiver, {{{4}}}},
    {Msg::Diagnosis, 11, "diagnosis", MessageOrigin::Receiver, {{{4}}}},
    // The time-stamp request carries the search mode; a bare one is taken as well.
    {Msg::TimeStamps, 46, "time-stamps", MessageOrigin::Receiver, {{{4}, {5}}}},
    {Msg::Condition, 46, "condition", MessageOrigin::Receiver, {{{4}}}},
    {Msg::Navigation, 44, "navigation", MessageOrigin::Receiver, {{{4}}}},
    {Msg::Satellites, 50, "satellites", MessageOrigin::Receiver, {{{4}}}},
    {Msg::ColdStart, 4, "cold-start", MessageOrigin::Acknowledgement, {{{4, "Cold Start Fix"}}}},
    {Msg::SetPosition, 4, "set-position", MessageOrigin::Acknowledgement, {{{13, "Set Position"}}}},
    {Msg::SetHeight, 4, "set-height", MessageOrigin::Acknowledgement, {{{8, "Set Height"}}}},
    {Msg::SetTime,
     4,
     "set-time",
     MessageOrigin::Acknowledgement,
     {{{5, "Reset Time Stamps"}, {10, "Set Time"}}}},
    {Msg::SystemReset, 4, "reset", MessageOrigin::Acknowledgement, {{{4, "System Reset"}}}},
    {Msg::B7, 4, "B7", MessageOrigin::Acknowledgement, {{{4}}}},
    {Msg::Prepare, 4, "B8", MessageOrigin::Acknowledgement, {{{4}}}},
}};

// The row of a type, or null for a byte that starts no frame.
const MessageType *findMessageType(quint8 type);

// The name the user knows a sent command by ("Set Position"), or empty for a frame
// whose acknowledgement is not reported. A length the program does not send takes
// the type's last named form.
QString acknowledgedCommand(const QByteArray &frame);
