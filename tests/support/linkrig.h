#pragma once
// A device link on the simulated instrument with time in the test's hands.
// Each of the link's timers keeps its own due time as Qt would, and the rig
// runs the slots that fall due while it moves the instrument's clock; idle
// exchange ticks do nothing, so the clock jumps past them and a day of
// instrument time takes seconds. Real timer events never reach the link.

#include "device/device.h"
#include "simulator/simbackend.h"
#include "tests/support/seam.h"

#include <QStringList>

#include <functional>
#include <memory>

class LinkRig {
public:
    // `own`: build a link and answer its signals as the main window does (both
    // configurations on connection, a configuration after status bit 0);
    // otherwise attach() a main window's link, which it answers itself.
    explicit LinkRig(bool own = true);
    ~LinkRig();

    void attach(Device* link);
    // Throws the link away and builds a new one, as a restarted program would.
    void restartProgram();

    qint64 now() const { return sim->now_ms(); }
    void runTo(qint64 until);
    void run(qint64 ms) { runTo(now() + ms); }
    // Runs until `done` holds; false if it does not within `limit_ms`.
    bool runUntil(const std::function<bool()>& done, qint64 limit_ms);
    bool idle() const { return dev->cmd_queue.isEmpty() && !dev->awaiting_reply; }
    // Connected, the identity and both configurations read, nothing left to send.
    bool connectFully(qint64 limit_ms = 3000);

    SimBackend* sim = nullptr;
    Device* dev = nullptr;
    QStringList warnings;

private:
    bool own_;
    qint64 scan_next_ = -1, io_next_ = -1, res_next_ = -1;
    Seam<std::function<qint64()>> clock_;
    Seam<std::function<void(const QString&)>> box_;
    std::unique_ptr<QObject> gate_;
};
