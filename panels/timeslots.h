#pragma once
// Timeslot check boxes shared by the transmitter and receiver panels: boxes
// cb1..cb31 of a frame stand for bits 1..31 of a 32-bit timeslot mask, the
// number being taken from the object name.

#include <QtGlobal>

class QObject;
class QWidget;

// Connects clicked(bool) of every check box of `frame` to `receiver`'s cbXXClicked(bool).
void connect_timeslot_boxes(QWidget* frame, QObject* receiver);

// Checks each box of `frame` exactly when its bit is set in `mask`.
void show_timeslot_mask(QWidget* frame, quint32 mask);

// Timeslot number of a box from its object name ("cb17" gives 17); -1 if there is none.
int timeslot_of(const QObject* box);
