#include "tests/support/linkrig.h"

#include <QEvent>
#include <QTimer>

namespace {
// The link still starts and stops its timers; when they fire is the rig's.
class TimerGate : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Timer; }
};
} // namespace

LinkRig::LinkRig(bool own)
    : own_(own), clock_(Device::clock_ms, [this] { return sim->now_ms(); }),
      box_(Device::warning_box, [this](const QString& text) { warnings << text; }), gate_(new TimerGate)
{
    auto s = std::make_unique<SimBackend>();
    sim = s.get();
    sim->instrument().setNoise(false);
    usb::setBackend(std::move(s));
    if (own_)
        attach(new Device);
}

LinkRig::~LinkRig()
{
    if (own_)
        delete dev;
    usb::setBackend(nullptr);
}

void LinkRig::attach(Device* link)
{
    dev = link;
    scan_next_ = io_next_ = res_next_ = -1;
    for (QTimer* t : {dev->scan_timer, dev->io_timer, dev->res_timer})
        t->installEventFilter(gate_.get());
    // Both timers are started again right after these signals: due a period on.
    QObject::connect(dev, &Device::dev_conn, dev, [this] { res_next_ = -1; });
    QObject::connect(dev, &Device::dev_disc, dev, [this] { scan_next_ = -1; });
    if (!own_)
        return;
    QObject::connect(dev, &Device::dev_conn, dev, [link] { link->get_cfg(0), link->get_cfg(1); });
    QObject::connect(dev, &Device::res_rcv, dev, [link](uchar ch) {
        if (link->results[ch ? 1 : 0].status_flags & 1)
            link->get_cfg(ch);
    });
}

void LinkRig::restartProgram()
{
    delete dev;
    attach(new Device);
}

void LinkRig::runTo(qint64 until)
{
    while (true) {
        auto follow = [this](QTimer* t, qint64& next) { next = !t->isActive() ? -1 : next < 0 ? now() + t->interval() : next; };
        follow(dev->scan_timer, scan_next_);
        follow(dev->res_timer, res_next_);
        follow(dev->io_timer, io_next_);
        const bool busy = dev->awaiting_reply || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty();
        if (const qint64 p = dev->io_timer->interval(); io_next_ >= 0 && io_next_ < now())
            io_next_ += (now() - io_next_ + p - 1) / p * p; // keep the timer's phase
        qint64 due = until + 1;
        for (qint64 t : {scan_next_, res_next_, busy ? io_next_ : -1})
            if (t >= 0)
                due = qMin(due, t);
        sim->advance(qMin(due, until) - now());
        if (due > until)
            break;
        auto fire = [&](qint64& next, QTimer* timer, void (Device::*slot)()) {
            if (next == due && timer->isActive()) {
                next += timer->interval();
                (dev->*slot)();
            }
        };
        fire(scan_next_, dev->scan_timer, &Device::tDevScanTimeout);
        fire(res_next_, dev->res_timer, &Device::tDevResTimeout);
        if (busy)
            fire(io_next_, dev->io_timer, &Device::tDevIOTimeout);
    }
}

bool LinkRig::runUntil(const std::function<bool()>& done, qint64 limit_ms)
{
    const qint64 end = now() + limit_ms;
    while (!done() && now() < end)
        runTo(qMin(end, now() + 10));
    return done();
}

bool LinkRig::connectFully(qint64 limit_ms)
{
    return runUntil([this] { return dev->connected && dev->device_id != 0 && idle() && dev->raw_cfg[1].size() > 0; },
                    limit_ms);
}
