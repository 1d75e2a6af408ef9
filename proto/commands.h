#pragma once
// Every command of the instrument's packet protocol, named once, with the
// sizes of its payloads. A reply carries the code of the request it answers.
// A new command is one name and one row here, plus its layout in the codec.

#include <QtGlobal>

namespace cmd {

enum Code : quint8 {
    SET_BASE = 0x03,
    SET_SEQ = 0x04,
    SET_FREQ_A = 0x05,
    SET_FREQ_B = 0x45,
    SET_LINEAR = 0x06,
    SET_ERROR_A = 0x07,
    SET_ERROR_B = 0x47,
    SET_DEFECT_A = 0x08,
    SET_DEFECT_B = 0x48,
    SET_CYCLE_A = 0x09,
    SET_CYCLE_B = 0x49,
    SET_CHANNEL_A = 0x0C,
    SET_CHANNEL_B = 0x4C,
    SET_JITTER = 0x0D,
    START_STOP = 0x0E,
    GET_RESULTS_A = 0x80,
    GET_RESULTS_B = 0xC0,
    GET_CURRENT_RECORD = 0x86,
    GET_RECORD = 0x87,
    GET_CFG_A = 0x88,
    GET_CFG_B = 0xC8,
    GET_IDENTITY = 0x8A,
};

// Commands and requests that exist per channel: channel B's code is channel A's with this bit.
constexpr quint8 CHANNEL_B = 0x40;
constexpr int channel(quint8 code) { return (code & CHANNEL_B) ? 1 : 0; }

struct Info {
    quint8 code;
    int request_size;   // payload bytes of the command
    int reply_size;     // payload bytes the reply carries (the decoder needs at least these)
    bool ack;           // the reply only acknowledges: it carries no data
};

constexpr Info TABLE[] = {
    {SET_BASE, 4, 0, true},
    {SET_SEQ, 7, 0, true},
    {SET_FREQ_A, 2, 0, true},
    {SET_FREQ_B, 2, 0, true},
    {SET_LINEAR, 2, 0, true},
    {SET_ERROR_A, 2, 0, true},
    {SET_ERROR_B, 2, 0, true},
    {SET_DEFECT_A, 1, 0, true},
    {SET_DEFECT_B, 1, 0, true},
    {SET_CYCLE_A, 1, 0, true},
    {SET_CYCLE_B, 1, 0, true},
    {SET_CHANNEL_A, 12, 0, true},
    {SET_CHANNEL_B, 12, 0, true},
    {SET_JITTER, 5, 0, true},
    {START_STOP, 1, 0, true},
    {GET_RESULTS_A, 0, 49, false},
    {GET_RESULTS_B, 0, 45, false},
    {GET_CURRENT_RECORD, 0, 58, false},
    {GET_RECORD, 2, 58, false},
    {GET_CFG_A, 0, 53, false},
    {GET_CFG_B, 0, 39, false},
    {GET_IDENTITY, 0, 2, false},
};

// The row of `code`, or nullptr for a code that the protocol does not have.
constexpr const Info* find(quint8 code)
{
    for (const Info& i : TABLE)
        if (i.code == code)
            return &i;
    return nullptr;
}

} // namespace cmd
