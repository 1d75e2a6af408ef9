#pragma once
// A device link wired to the simulated instrument, with time in the hands of
// the test: every step moves the instrument's clock by 10 ms and runs the
// link's timer slots that would have fired, so no test ever sleeps.

#include "device/device.h"
#include "simulator/simbackend.h"

#include <QTimer>

#include <functional>
#include <memory>

class LinkRig {
public:
    // `window`: answer the link's signals the way the main window does
    // (configurations on connection, a configuration after status bit 0).
    explicit LinkRig(bool window = true)
    {
        auto s = std::make_unique<SimBackend>();
        sim = s.get();
        sim->instrument().setNoise(false);
        usb::setBackend(std::move(s));
        saved_clock = Device::clock_ms;
        Device::clock_ms = [clock = sim] { return clock->now_ms(); };
        saved_box = Device::warning_box;
        Device::warning_box = [this](const QString& text) { warnings << text; };
        dev = new Device;
        if (!window)
            return;
        Device* d = dev;
        QObject::connect(dev, &Device::dev_conn, dev, [d] { d->get_cfg(0), d->get_cfg(1); });
        QObject::connect(dev, &Device::res_rcv, dev, [d](uchar ch) {
            if (d->results[ch ? 1 : 0].status_flags & 1)
                d->get_cfg(ch);
        });
    }
    ~LinkRig()
    {
        delete dev;
        usb::setBackend(nullptr);
        Device::clock_ms = saved_clock;
        Device::warning_box = saved_box;
    }
    LinkRig(const LinkRig&) = delete;
    LinkRig& operator=(const LinkRig&) = delete;

    // One 10 ms tick: the instrument's clock, then the slots whose timers are due.
    void step()
    {
        sim->advance(10);
        if (sim->now_ms() % 1000 == 0) {
            if (dev->scan_timer->isActive())
                dev->tDevScanTimeout();
            if (dev->res_timer->isActive())
                dev->tDevResTimeout();
        }
        if (dev->io_timer->isActive())
            dev->tDevIOTimeout();
    }
    void run(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += 10)
            step();
    }
    // Steps until `done` holds; false if it does not within `limit_ms`.
    bool runUntil(const std::function<bool()>& done, qint64 limit_ms)
    {
        for (qint64 t = 0; t < limit_ms && !done(); t += 10)
            step();
        return done();
    }
    // Connected and both configurations read.
    bool connectFully(qint64 limit_ms = 3000)
    {
        return runUntil([this] { return dev->connected && dev->device_id != 0 && dev->cmd_queue.isEmpty()
                                        && !dev->awaiting_reply && dev->raw_cfg[1].size() > 0; },
                        limit_ms);
    }

    SimBackend* sim = nullptr;
    Device* dev = nullptr;
    QStringList warnings;

private:
    std::function<qint64()> saved_clock;
    std::function<void(const QString&)> saved_box;
};
