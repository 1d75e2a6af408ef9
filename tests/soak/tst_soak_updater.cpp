// Updates in a row against the simulated instrument, most of them hit by one
// fault at a random packet (fixed seed). Whenever the instrument accepts the
// end packet it must hold exactly each file minus its last byte.

#include "simulator/simbackend.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"
#include "usb/usb.h"

#include <QTimer>
#include <QtTest>

#include <random>

namespace {

// The simulated instrument behind a cable that runs a fault on one packet
// before it is sent, and notes what the instrument held when it accepted the end.
struct Cable : SimBackend {
    int writes = 0, fault_at = -1;
    std::function<void(QByteArray&)> on_packet;
    bool finished = false;
    QByteArray q, r;

    quint32 write(usb::Handle h, const void* data, quint32 size, quint32* written) override
    {
        QByteArray p(static_cast<const char*>(data), int(size));
        if (writes++ == fault_at)
            on_packet(p);
        const quint32 st = SimBackend::write(h, p.constData(), quint32(p.size()), written);
        if (!finished && updatePeer().finished()) {
            finished = true;
            q = updatePeer().sectionQ();
            r = updatePeer().sectionR();
        }
        return st;
    }
};

} // namespace

class TstSoakUpdater : public QObject {
    Q_OBJECT

private slots:
    void manyTransfersWithFaults()
    {
        auto* sim = new Cable;
        usb::setBackend(std::unique_ptr<usb::Backend>(sim));
        int boxes = 0;
        Seam box(MainWidget::messageBox, [&](QWidget*, MainWidget::BoxKind kind, const QString&, const QString&) {
            boxes += kind != MainWidget::BoxKind::Warning;
        });
        auto window = std::make_unique<MainWidget>();
        MainWidget& w = *window;
        w.tDevScan->stop();
        // Each look at the clock inside the reply wait is 40 ms of instrument time;
        // the scan timer fires every second of it, inside the wait's event pass.
        qint64 next_scan = 1000;
        Seam clock(MainWidget::clockMs, [&] {
            sim->advance(40);
            if (sim->now_ms() >= next_scan) {
                next_scan += 1000;
                QTimer::singleShot(0, &w, [&w] { w.tDevScanTimeout(); });
            }
            return sim->now_ms();
        });

        std::mt19937_64 rng(0x0D7A7E);
        auto uniform = [&](int lo, int hi) { return int(std::uniform_int_distribution<int>(lo, hi)(rng)); };
        auto randomFile = [&] {
            QByteArray b(uniform(1, 2500), '\0');
            for (char& c : b)
                c = char(rng());
            return b;
        };
        using Call = SimBackend::Call;
        enum Kind { None, NoReply, WriteFails, CheckFails, PresenceFails, ReadFails, Unplug, SpoilPacket, Slow,
                    SecondDevice, Kinds };
        const Call failing[] = {Call::Write, Call::CheckRXQueue, Call::DeviceString, Call::Read};
        for (int t = 0; t < 1500; ++t) {
            // Connected and idle before each transfer; faults left from the last one go.
            sim->plug();
            sim->setDeviceCount(1);
            sim->setReplyDelay(0);
            sim->updatePeer().silentFrom = -1;
            for (Call c : failing)
                sim->failNext(c, 0, 0);
            for (int i = 0; i < 20 && !(w.connected && !sim->restarting()); ++i) {
                sim->advance(1000);
                next_scan = sim->now_ms() + 1000;
                w.tDevScanTimeout();
            }
            QVERIFY2(w.connected, qPrintable(QStringLiteral("transfer %1: no connection").arg(t)));

            const QByteArray f1 = randomFile(), f2 = randomFile();
            w.file1Data = f1;
            w.file2Data = f2;
            w.updateButtonState();
            const Kind kind = uniform(0, 3) == 0 ? None : Kind(uniform(1, Kinds - 1));
            sim->writes = 0;
            sim->finished = false;
            sim->fault_at = uniform(0, 4 + (f1.size() + 58) / 60 + (f2.size() + 58) / 60);
            sim->on_packet = [&, kind](QByteArray& p) {
                if (kind >= WriteFails && kind <= ReadFails)
                    sim->failNext(failing[kind - WriteFails], kind == ReadFails ? usb::DEVICE_IO_FAILED : usb::SYSTEM_ERROR_CODE);
                else if (kind == NoReply)
                    sim->updatePeer().silentFrom = sim->updatePeer().packetsHandled();
                else if (kind == Unplug)
                    sim->unplug();
                else if (kind == SpoilPacket && p.size() >= 3 && (p.at(0) == 'Q' || p.at(0) == 'R'))
                    p[uniform(0, p.size() - 1)] ^= char(uniform(1, 255)); // the instrument checks its data packets
                else if (kind == Slow)
                    sim->setReplyDelay(uniform(100, 6500)); // sometimes beyond the reply limit
                else if (kind == SecondDevice)
                    sim->setDeviceCount(2);
            };
            boxes = 0;
            const int rejectedBefore = sim->updatePeer().rejected();
            w.bUpdateClicked();

            const QString where = QStringLiteral("transfer %1 (fault %2 at packet %3)").arg(t).arg(kind).arg(sim->fault_at);
            QVERIFY2(!w.updating && !w.connected && boxes <= 1, qPrintable(where));
            QCoreApplication::processEvents(); // a scan tick still due from the wait may connect at once
            QVERIFY2(!w.updating, qPrintable(where));
            if (sim->finished)
                QVERIFY2(sim->q == f1.chopped(1) && sim->r == f2.chopped(1), qPrintable(where + ": sections differ"));
            if (kind == None)
                QVERIFY2(sim->finished && boxes == 0 && sim->updatePeer().rejected() == rejectedBefore,
                         qPrintable(where + ": a transfer without fault did not end cleanly"));
        }
        window.reset();
        usb::setBackend(nullptr);
    }
};

QTEST_MAIN(TstSoakUpdater)
#include "tst_soak_updater.moc"
