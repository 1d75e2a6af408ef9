// Hundreds of updates in a row against the simulated instrument, most of
// them hit by one fault at a random packet (fixed seed): no reply, failing
// library calls, the cable pulled mid-section, a data packet or a reply
// corrupted on the way, a slow instrument, the presence check failing inside
// the reply wait, a second instrument. Whenever the instrument accepts the end
// packet (and restarts), it must hold exactly each file minus its last byte;
// every transfer must leave the window disconnected and ready for the next.

#include "mainwidget.h"
#include "simbackend.h"
#include "usb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <random>

namespace {

// The simulated instrument behind a cable that can spoil one packet or one
// reply, and that notes what the instrument held when it accepted the end.
class Cable : public usb::Backend {
public:
    explicit Cable(SimBackend* s) : sim(s) {}
    ~Cable() override { delete sim; }

    SimBackend* sim;
    // Per transfer.
    int writes = 0;
    int fault_at = -1;                        // packet index the fault hits
    std::function<void(QByteArray&)> on_packet; // runs on packet `fault_at` before it is sent
    bool spoil_next_read = false;
    quint8 spoil_with = 0;
    // Sections held when the end packet was accepted.
    bool finished = false;
    QByteArray q, r;

    void newTransfer()
    {
        writes = 0;
        fault_at = -1;
        on_packet = nullptr;
        spoil_next_read = false;
        finished = false;
        q.clear();
        r.clear();
    }

    quint32 getNumDevices(quint32* count) override { return sim->getNumDevices(count); }
    quint32 getDeviceString(quint32 i, char* b, quint32 o) override { return sim->getDeviceString(i, b, o); }
    quint32 open(quint32 i, usb::Handle* h) override { return sim->open(i, h); }
    quint32 close(usb::Handle h) override { return sim->close(h); }
    quint32 beforeWrite(usb::Handle h, quint8 a, quint8 b) override { return sim->beforeWrite(h, a, b); }
    quint32 write(usb::Handle h, const void* data, quint32 size, quint32* written) override
    {
        QByteArray p(static_cast<const char*>(data), int(size));
        if (writes++ == fault_at && on_packet)
            on_packet(p);
        const quint32 st = sim->write(h, p.constData(), quint32(p.size()), written);
        if (!finished && sim->updatePeer().finished()) {
            finished = true;
            q = sim->updatePeer().sectionQ();
            r = sim->updatePeer().sectionR();
        }
        return st;
    }
    quint32 checkRXQueue(usb::Handle h, quint32* bytes, quint32* qs) override { return sim->checkRXQueue(h, bytes, qs); }
    quint32 read(usb::Handle h, void* buffer, quint32 size, quint32* got) override
    {
        const quint32 st = sim->read(h, buffer, size, got);
        if (st == 0 && *got > 0 && spoil_next_read) {
            spoil_next_read = false;
            char* b = static_cast<char*>(buffer);
            if (quint8(b[0]) == spoil_with)
                spoil_with = quint8(spoil_with + 1);
            b[0] = char(spoil_with);
        }
        return st;
    }
};

QByteArray randomFile(std::mt19937_64& rng, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(rng() & 0xFF);
    return b;
}

} // namespace

class TstSoakUpdater : public QObject {
    Q_OBJECT

private slots:
    void manyTransfersWithFaults();
};

void TstSoakUpdater::manyTransfersWithFaults()
{
    QElapsedTimer wall;
    wall.start();
    auto* sim = new SimBackend;
    auto owned = std::make_unique<Cable>(sim);
    Cable* cable = owned.get();
    usb::setBackend(std::move(owned));

    int boxes = 0;
    int warnings = 0;
    const auto savedBox = MainWidget::messageBox;
    const auto savedClock = MainWidget::clockMs;
    MainWidget::messageBox = [&](QWidget*, MainWidget::BoxKind kind, const QString&, const QString&) {
        (kind == MainWidget::BoxKind::Warning ? warnings : boxes)++;
    };

    auto window = std::make_unique<MainWidget>();
    MainWidget& w = *window;
    w.tDevScan->stop();
    // Each look at the clock inside the reply wait is 40 ms of instrument time;
    // the scan timer fires every second of it, inside the wait's event pass.
    qint64 next_scan = 1000;
    MainWidget::clockMs = [&] {
        sim->advance(40);
        if (sim->now_ms() >= next_scan) {
            next_scan += 1000;
            QTimer::singleShot(0, &w, [&w] { w.tDevScanTimeout(); });
        }
        return sim->now_ms();
    };
    auto scanTick = [&] {
        sim->advance(1000);
        next_scan = sim->now_ms() + 1000;
        w.tDevScanTimeout();
    };
    const QProgressBar* bar = w.findChild<QProgressBar*>(QStringLiteral("pBar"));
    const QPushButton* open1 = w.findChild<QPushButton*>(QStringLiteral("bOpen1"));
    const QPushButton* open2 = w.findChild<QPushButton*>(QStringLiteral("bOpen2"));
    const QPushButton* update = w.findChild<QPushButton*>(QStringLiteral("bUpdate"));
    QVERIFY(bar && open1 && open2 && update);

    std::mt19937_64 rng(0x0D7A7E);
    auto uniform = [&](int lo, int hi) { return int(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    enum Kind { None, NoReply, WriteFails, CheckFails, ReadFails, Unplug, SpoilPacket, SpoilReply, Slow,
                PresenceFails, SecondDevice, Kinds };
    int injected[Kinds] = {};
    int completed[Kinds] = {};
    const int transfers = 1500;
    qint64 total_packets = 0;
    for (int t = 0; t < transfers; ++t) {
        // Connected and idle before each transfer: the instrument may still be
        // restarting after the last one, or unplugged.
        sim->plug();
        sim->setDeviceCount(1);
        sim->setReplyDelay(0);
        sim->updatePeer().silentFrom = -1;
        // A call failure armed too late to strike in the last transfer goes.
        for (SimBackend::Call c : {SimBackend::Call::Write, SimBackend::Call::CheckRXQueue, SimBackend::Call::Read,
                                   SimBackend::Call::DeviceString})
            sim->failNext(c, 0, 0);
        for (int i = 0; i < 20 && !(w.connected && !sim->restarting()); ++i)
            scanTick();
        QVERIFY2(w.connected, qPrintable(QStringLiteral("transfer %1: no connection").arg(t)));

        const QByteArray f1 = randomFile(rng, uniform(1, 2500));
        const QByteArray f2 = randomFile(rng, uniform(1, 2500));
        w.file1Data = f1;
        w.file2Data = f2;
        w.updateButtonState();
        QVERIFY(update->isEnabled());
        cable->newTransfer();
        const int packets = 5 + (f1.size() - 1 + 59) / 60 + (f2.size() - 1 + 59) / 60;
        const Kind kind = uniform(0, 3) == 0 ? None : Kind(uniform(1, Kinds - 1));
        ++injected[kind];
        cable->fault_at = uniform(0, packets - 1);
        switch (kind) {
        case None:
            break;
        case NoReply:
            cable->on_packet = [&](QByteArray&) { sim->updatePeer().silentFrom = sim->updatePeer().packetsHandled(); };
            break;
        case WriteFails:
            cable->on_packet = [&](QByteArray&) { sim->failNext(SimBackend::Call::Write); };
            break;
        case CheckFails:
            cable->on_packet = [&](QByteArray&) { sim->failNext(SimBackend::Call::CheckRXQueue); };
            break;
        case ReadFails:
            cable->on_packet = [&](QByteArray&) { sim->failNext(SimBackend::Call::Read, usb::DEVICE_IO_FAILED); };
            break;
        case Unplug:
            cable->on_packet = [&](QByteArray&) { sim->unplug(); };
            break;
        case SpoilPacket:
            // One byte of a data packet changed on the way (the instrument checks them).
            cable->on_packet = [&](QByteArray& p) {
                if (p.size() >= 3 && (p.at(0) == 'Q' || p.at(0) == 'R')) {
                    const int i = uniform(0, p.size() - 1);
                    p[i] = char(p.at(i) ^ uniform(1, 255));
                }
            };
            break;
        case SpoilReply:
            cable->on_packet = [&](QByteArray&) {
                cable->spoil_next_read = true;
                cable->spoil_with = quint8(uniform(0, 255));
            };
            break;
        case Slow:
            // Sometimes slower than the reply limit.
            cable->on_packet = [&](QByteArray&) { sim->setReplyDelay(uniform(100, 6500)); };
            break;
        case PresenceFails:
            cable->on_packet = [&](QByteArray&) { sim->failNext(SimBackend::Call::DeviceString); };
            break;
        case SecondDevice:
            cable->on_packet = [&](QByteArray&) { sim->setDeviceCount(2); };
            break;
        case Kinds:
            break;
        }

        boxes = 0;
        const int rejectedBefore = sim->updatePeer().rejected();
        w.bUpdateClicked();

        const QString where = QStringLiteral("transfer %1 (fault %2 at packet %3, files %4 and %5 bytes)")
                                  .arg(t).arg(int(kind)).arg(cable->fault_at).arg(f1.size()).arg(f2.size());
        QVERIFY2(!w.updating && !w.connected, qPrintable(where));
        QVERIFY2(bar->value() == 0 && open1->isEnabled() && open2->isEnabled(), qPrintable(where));
        // A scan tick still due from the wait may connect again at once.
        QCoreApplication::processEvents();
        QVERIFY2(!w.updating, qPrintable(where));
        QVERIFY2(boxes <= 1, qPrintable(where));
        QVERIFY2(w.file1Data == f1 && w.file2Data == f2, qPrintable(where));
        if (cable->finished) {
            ++completed[kind];
            QVERIFY2(cable->q == f1.left(f1.size() - 1), qPrintable(where + QStringLiteral(": section Q differs")));
            QVERIFY2(cable->r == f2.left(f2.size() - 1), qPrintable(where + QStringLiteral(": section R differs")));
        } else {
            QVERIFY2(kind != None, qPrintable(where + QStringLiteral(": a clean transfer did not end; boxes %1, packets %2, status %3, restarting %4, peer handled %5").arg(boxes).arg(cable->writes).arg(w.findChild<QLabel*>("lStatus")->text()).arg(sim->restarting()).arg(sim->updatePeer().packetsHandled()) + QStringLiteral(" reply %1 rejected %2 finished %3").arg(int(quint8(w.replyBuffer[0]))).arg(sim->updatePeer().rejected()).arg(sim->updatePeer().finished())));
        }
        total_packets += cable->writes;
        if (kind == SecondDevice && cable->writes > cable->fault_at) {
            // Both on the bus (once the first is back from a restart): a
            // warning every tick, nothing opened.
            sim->advance(SimBackend::RESTART_MS + 1500);
            const int before = warnings;
            scanTick();
            scanTick();
            QVERIFY2(warnings == before + 2 && !w.connected, qPrintable(where));
        }
        if (kind == None)
            QVERIFY2(boxes == 0 && sim->updatePeer().rejected() == rejectedBefore, qPrintable(where));
    }

    for (int k = 0; k < Kinds; ++k)
        QVERIFY2(injected[k] > 0, qPrintable(QStringLiteral("fault kind %1 never injected").arg(k)));
    // Faults that strike after the end packet leave a finished update; the rest break it off.
    QVERIFY(completed[NoReply] < injected[NoReply]);
    QVERIFY(completed[SpoilPacket] < injected[SpoilPacket]);
    QVERIFY(warnings > 0);
    std::printf("updater soak: %d transfers, %d without fault; completed despite a fault: %d of %d; %lld ms instrument"
                " time, %lld packets, %lld ms real time\n",
                transfers, injected[None], [&] { int n = 0; for (int k = 1; k < Kinds; ++k) n += completed[k]; return n; }(),
                transfers - injected[None], qint64(sim->now_ms()), total_packets, qint64(wall.elapsed()));

    window.reset();
    MainWidget::messageBox = savedBox;
    MainWidget::clockMs = savedClock;
    usb::setBackend(nullptr);
}

QTEST_MAIN(TstSoakUpdater)
#include "tst_soak_updater.moc"
