#pragma once
// A device link against the simulated instrument on a driven clock. Each of
// the link's three timers keeps its own due time, as Qt would; while the link
// is idle its 10 ms exchange ticks would do nothing, so the clock jumps to the
// next scan or results poll. The link's signals are answered as the main
// window and the records table answer them. After every timer slot the
// queues and the record list are checked against their bounds; the first
// breach is kept in `error` and stops the run.

#include "device.h"
#include "simbackend.h"

#include <QTimer>

#include <functional>

class LinkSoak {
public:
    int max_cmd_queue = 40; // one poll, two configuration requests, what the user sent

    LinkSoak()
    {
        auto b = std::make_unique<SimBackend>();
        sim = b.get();
        usb::setBackend(std::move(b));
        saved_clock = Device::clock_ms;
        Device::clock_ms = [this] { return sim->now_ms(); };
        saved_box = Device::warning_box;
        Device::warning_box = [this](const QString&) { ++warnings; };
        newDevice();
    }
    ~LinkSoak()
    {
        delete dev;
        Device::clock_ms = saved_clock;
        Device::warning_box = saved_box;
        usb::setBackend(nullptr);
    }
    LinkSoak(const LinkSoak&) = delete;
    LinkSoak& operator=(const LinkSoak&) = delete;

    qint64 now() const { return sim->now_ms(); }
    bool ok() const { return error.isEmpty(); }
    // Scanning has stopped for good (two instruments): only a restart of the program helps.
    bool halted() const { return !dev->connected && !dev->scan_timer->isActive(); }
    void restartProgram()
    {
        delete dev;
        ++restarts;
        newDevice();
    }

    // Runs the link's timers until `until`; false as soon as a bound breaks.
    bool runTo(qint64 until)
    {
        while (ok()) {
            sync();
            const bool busy = dev->awaiting_reply || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty();
            if (io_next >= 0 && io_next < now())
                io_next += (now() - io_next + 9) / 10 * 10; // keep the 10 ms phase
            qint64 due = until + 1;
            for (qint64 t : {scan_next, res_next, busy ? io_next : qint64(-1)})
                if (t >= 0)
                    due = qMin(due, t);
            if (due > until) {
                sim->advance(until - now());
                return ok();
            }
            sim->advance(due - now());
            if (scan_next == due) {
                scan_next += 1000;
                dev->tDevScanTimeout();
                check();
            }
            if (res_next == due && dev->res_timer->isActive()) {
                res_next += 1000;
                dev->tDevResTimeout();
                check();
            }
            if (io_next == due && busy && dev->io_timer->isActive()) {
                io_next += 10;
                dev->tDevIOTimeout();
                check();
            }
        }
        return false;
    }

    // Runs until `done` holds, at most until `limit`.
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
    int clears = 0;

private:
    void newDevice()
    {
        dev = new Device;
        scan_next = io_next = res_next = -1;
        Device* d = dev;
        QObject::connect(dev, &Device::dev_conn, dev, [this, d] {
            res_next = now() + 1000; // the poll timer is restarted right after this signal
            d->get_cfg(0);
            d->get_cfg(1);
            d->records.clear(); // the records table empties the list on connection
            ++clears;
        });
        QObject::connect(dev, &Device::res_rcv, dev, [d](uchar ch) {
            if (d->results[ch ? 1 : 0].status_flags & 1)
                d->get_cfg(ch);
        });
        // ... and when a configuration or a test state arrives while a test runs.
        auto clearWhileRunning = [this, d] {
            if (d->common.test_running) {
                d->records.clear();
                ++clears;
            }
        };
        QObject::connect(dev, &Device::cfg_rcv, dev, clearWhileRunning);
        QObject::connect(dev, &Device::dev_test_state, dev, clearWhileRunning);
        QObject::connect(dev, &Device::dev_disc, dev, [this] { scan_next = now() + 1000; });
        sync();
    }

    // Due times follow the timers being started and stopped by the link.
    void sync()
    {
        auto follow = [this](QTimer* t, qint64& next, int period) {
            if (!t->isActive())
                next = -1;
            else if (next < 0)
                next = now() + period;
        };
        follow(dev->scan_timer, scan_next, 1000);
        follow(dev->res_timer, res_next, 1000);
        follow(dev->io_timer, io_next, 10);
    }

    void check()
    {
        const int stored = sim->instrument().storedRecords();
        QString e;
        if (dev->cmd_queue.size() > max_cmd_queue)
            e = QStringLiteral("command queue %1").arg(dev->cmd_queue.size());
        else if (dev->rec_queue.size() > stored + 1)
            e = QStringLiteral("record queue %1, %2 records stored").arg(dev->rec_queue.size()).arg(stored);
        else if (dev->records.size() > stored + 1)
            e = QStringLiteral("record list %1, %2 records stored").arg(dev->records.size()).arg(stored);
        else if (!dev->records.isEmpty() && (dev->records.first().number != 0 || dev->records.last().number != quint32(dev->records.size() - 1)))
            e = QStringLiteral("record list not numbered 0..%1").arg(dev->records.size() - 1);
        else if (!dev->connected && (!dev->records.isEmpty() || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty()))
            e = QStringLiteral("closed link keeps queued packets or records");
        if (!e.isEmpty() && error.isEmpty())
            error = QStringLiteral("at %1 ms: %2").arg(now()).arg(e);
    }

    qint64 scan_next = -1;
    qint64 io_next = -1;
    qint64 res_next = -1;
    std::function<qint64()> saved_clock;
    std::function<void(const QString&)> saved_box;
};
