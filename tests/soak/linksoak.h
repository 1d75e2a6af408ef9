#pragma once
// A device link against the simulated instrument for long runs on a driven
// clock. Each of the link's three timers keeps its own due time, as Qt would:
// the exchange step fires every 10 ms while there is something to send or a
// reply to wait for; while the link is idle its ticks would do nothing, so the
// clock jumps to the next scan, results poll or scripted event instead.
// The link's signals are answered as the main window and the records table
// answer them (configurations requested, the record list emptied).
// After every timer slot the queues and the record list are checked against
// their bounds; the first breach is kept in `error` and stops the run.

#include "device.h"
#include "simbackend.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class LinkSoak {
public:
    // Bounds checked after every slot. The command queue holds at most one
    // results poll, the two configuration requests and what the user sent.
    int max_cmd_queue = 40;
    // Records the list may hold beyond the instrument's (the last test's,
    // until the list is emptied for a new one).
    int list_slack = 0;

    explicit LinkSoak(SimBackend* backend) : sim(backend)
    {
        saved_clock = Device::clock_ms;
        SimBackend* s = sim;
        Device::clock_ms = [s] { return s->now_ms(); };
        saved_box = Device::warning_box;
        Device::warning_box = [this](const QString&) { ++warnings; };
        newDevice();
    }

    ~LinkSoak()
    {
        delete dev;
        Device::clock_ms = saved_clock;
        Device::warning_box = saved_box;
    }

    LinkSoak(const LinkSoak&) = delete;
    LinkSoak& operator=(const LinkSoak&) = delete;

    qint64 now() const { return sim->now_ms(); }
    bool ok() const { return error.isEmpty(); }

    // Scanning has stopped for good (two instruments, or the open failed):
    // only a restart of the program brings the link back.
    bool halted() const { return !dev->connected && !dev->scan_timer->isActive(); }

    // The program is started again: a new link, an empty model.
    void restartProgram()
    {
        delete dev;
        dev = nullptr;
        ++restarts;
        newDevice();
    }

    // Runs the link's timers until `until`; false as soon as a bound breaks.
    bool runTo(qint64 until)
    {
        while (ok()) {
            sync();
            const bool busy = dev->awaiting_reply || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty();
            if (io_next >= 0 && io_next < now()) {
                // Ticks skipped while idle did nothing; keep the 10 ms phase.
                io_next += (now() - io_next + 9) / 10 * 10;
            }
            qint64 due = until + 1;
            if (scan_next >= 0)
                due = qMin(due, scan_next);
            if (res_next >= 0)
                due = qMin(due, res_next);
            if (io_next >= 0 && busy)
                due = qMin(due, io_next);
            if (due > until) {
                sim->advance(until - now());
                return ok();
            }
            sim->advance(due - now());
            if (scan_next == due) {
                scan_next += 1000;
                dev->tDevScanTimeout();
                ++slot_calls;
                check();
            }
            if (res_next == due && dev->res_timer->isActive()) {
                res_next += 1000;
                dev->tDevResTimeout();
                ++slot_calls;
                check();
            }
            if (io_next == due && busy && dev->io_timer->isActive()) {
                io_next += 10;
                dev->tDevIOTimeout();
                ++slot_calls;
                ++io_ticks;
                check();
            }
        }
        return false;
    }

    // Runs until `done` holds (checked between slots' time points), at most until `limit`.
    bool runUntil(const std::function<bool()>& done, qint64 limit)
    {
        while (!done()) {
            if (now() >= limit || !ok())
                return false;
            runTo(qMin(limit, now() + 10));
        }
        return true;
    }

    SimBackend* sim;
    Device* dev = nullptr;
    QString error;
    int warnings = 0;
    int restarts = 0;
    int connections = 0;
    int disconnections = 0;
    int clears = 0;
    qint64 slot_calls = 0;
    qint64 io_ticks = 0;
    int peak_cmd_queue = 0;
    int peak_rec_queue = 0;
    // Extra check run after every slot (empty: none).
    std::function<QString()> extra_check;

private:
    void newDevice()
    {
        dev = new Device;
        scan_next = io_next = res_next = -1;
        Device* d = dev;
        // What the main window does on these signals.
        QObject::connect(dev, &Device::dev_conn, dev, [this, d] {
            ++connections;
            // The poll timer is (re)started right after this signal.
            res_next = now() + 1000;
            d->get_cfg(0);
            d->get_cfg(1);
        });
        QObject::connect(dev, &Device::res_rcv, dev, [d](uchar ch) {
            if (d->results[ch ? 1 : 0].status_flags & 1)
                d->get_cfg(ch);
        });
        // The records table empties the list on connection, and whenever a
        // configuration or a test state arrives while a test runs.
        QObject::connect(dev, &Device::dev_conn, dev, [this, d] {
            d->records.clear();
            ++clears;
        });
        auto clearWhileRunning = [this, d] {
            if (d->common.test_running) {
                d->records.clear();
                ++clears;
            }
        };
        QObject::connect(dev, &Device::cfg_rcv, dev, clearWhileRunning);
        QObject::connect(dev, &Device::dev_test_state, dev, clearWhileRunning);
        QObject::connect(dev, &Device::dev_disc, dev, [this] {
            ++disconnections;
            // Scanning is restarted at the end of this disconnection.
            scan_next = now() + 1000;
        });
        sync();
    }

    // Due times follow the timers being started and stopped by the link.
    void sync()
    {
        if (!dev->scan_timer->isActive())
            scan_next = -1;
        else if (scan_next < 0)
            scan_next = now() + 1000;
        if (!dev->res_timer->isActive())
            res_next = -1;
        else if (res_next < 0)
            res_next = now() + 1000;
        if (!dev->io_timer->isActive())
            io_next = -1;
        else if (io_next < 0)
            io_next = now() + 10;
    }

    void check()
    {
        const int stored = sim->instrument().storedRecords();
        peak_cmd_queue = qMax(peak_cmd_queue, int(dev->cmd_queue.size()));
        peak_rec_queue = qMax(peak_rec_queue, int(dev->rec_queue.size()));
        if (dev->cmd_queue.size() > max_cmd_queue)
            fail(QStringLiteral("command queue %1 > %2").arg(dev->cmd_queue.size()).arg(max_cmd_queue));
        else if (dev->rec_queue.size() > stored + 1)
            fail(QStringLiteral("record queue %1 > %2 records on the instrument + 1")
                     .arg(dev->rec_queue.size()).arg(stored));
        else if (dev->records.size() > stored + 1 + list_slack)
            fail(QStringLiteral("record list %1 > %2 + 1").arg(dev->records.size()).arg(stored));
        else if (!dev->records.isEmpty()
                 && (dev->records.first().number != 0
                     || dev->records.last().number != quint32(dev->records.size() - 1)))
            fail(QStringLiteral("record list not numbered 0..%1").arg(dev->records.size() - 1));
        else if (!dev->connected && (!dev->records.isEmpty() || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty()))
            fail(QStringLiteral("closed link keeps queued packets or records"));
        else if (extra_check) {
            const QString e = extra_check();
            if (!e.isEmpty())
                fail(e);
        }
    }

    void fail(const QString& what)
    {
        if (error.isEmpty())
            error = QStringLiteral("at %1 ms: %2").arg(now()).arg(what);
    }

    qint64 scan_next = -1;
    qint64 io_next = -1;
    qint64 res_next = -1;
    std::function<qint64()> saved_clock;
    std::function<void(const QString&)> saved_box;
};
