#pragma once
// Test setups in files: every setting the panels can send (common settings,
// and both channels' transmitter and receiver) as readable, versioned JSON.
// Reading checks every field against the panels' own ranges, so a file that
// reads is one the panels could have produced.

#include "proto/model.h"

#include <QByteArray>
#include <QString>

struct Setup {
    CommonSettings common;
    TxSettings tx[2];
    RxSettings rx[2];
};

constexpr int SETUP_VERSION = 1;

// The settings of `m` that a setup holds.
Setup setup_of(const Model& m);
// Writes a setup into `m`. What a setup does not hold stays: the test state,
// channel A's sync signal, channel B's jitter, and the receivers' timeslot 0
// bit, which the instrument reports and the panels never edit. In joint mode
// the receivers take the transmitters' shared settings, as their panels do.
void apply_setup(const Setup& s, Model* m);

QByteArray setup_to_json(const Setup& s);
// Reads and checks a whole setup. False on the first fault, with a message
// that names the field and the value.
bool setup_from_json(const QByteArray& text, Setup* s, QString* error);

// Only a setup that would read back is written: settings the instrument
// reported outside the panels' ranges are refused with the same message.
bool save_setup_file(const QString& path, const Setup& s, QString* error);
bool load_setup_file(const QString& path, Setup* s, QString* error);
