#pragma once
// The five settings panels over one Device, wired the way the main window
// wires them, plus helpers that act on the widgets as a user would.

#include "device.h"
#include "receiveframe.h"
#include "settingsframe.h"
#include "transmissionframe.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

struct PanelRig {
    Device dev;
    QFrame host; // the main window's left column
    SettingsFrame* sf;
    TransmissionFrame* tx[2];
    ReceiveFrame* rx[2];

    PanelRig()
    {
        dev.scan_timer->stop();
        sf = new SettingsFrame(&dev);
        tx[0] = new TransmissionFrame(&dev, 0);
        rx[0] = new ReceiveFrame(&dev, 0);
        tx[1] = new TransmissionFrame(&dev, 1);
        rx[1] = new ReceiveFrame(&dev, 1);
        auto* lay = new QVBoxLayout(&host);
        lay->setSpacing(0);
        lay->setContentsMargins(0, 0, 0, 0);
        for (QWidget* w : {static_cast<QWidget*>(sf), static_cast<QWidget*>(tx[0]), static_cast<QWidget*>(rx[0]),
                           static_cast<QWidget*>(tx[1]), static_cast<QWidget*>(rx[1])})
            lay->addWidget(w);
        host.setFixedSize(565, 680);
        wire();
        host.show();
    }

    // Rows 8 to 42 of the main window's connections, in its order.
    void wire()
    {
        QObject::connect(sf, SIGNAL(rxtx_jointly_sw(bool)), tx[0], SLOT(rxtx_jointly_sw(bool)));
        QObject::connect(sf, SIGNAL(rxtx_jointly_sw(bool)), rx[0], SLOT(rxtx_jointly_sw(bool)));
        QObject::connect(sf, SIGNAL(rxtx_jointly_usr(bool)), rx[0], SLOT(rxtx_jointly_usr(bool)));
        QObject::connect(sf, SIGNAL(rxtx_jointly_sw(bool)), tx[1], SLOT(rxtx_jointly_sw(bool)));
        QObject::connect(sf, SIGNAL(rxtx_jointly_sw(bool)), rx[1], SLOT(rxtx_jointly_sw(bool)));
        QObject::connect(sf, SIGNAL(rxtx_jointly_usr(bool)), rx[1], SLOT(rxtx_jointly_usr(bool)));
        QObject::connect(tx[0], SIGNAL(update_rcv_form()), rx[0], SLOT(update_rcv_form()));
        QObject::connect(tx[1], SIGNAL(update_rcv_form()), rx[1], SLOT(update_rcv_form()));
        QObject::connect(sf, SIGNAL(set_base_settings()), &dev, SLOT(set_base_setting()));
        QObject::connect(sf, SIGNAL(set_seq_settings()), &dev, SLOT(set_seq_settings()));
        QObject::connect(tx[0], SIGNAL(set_seq_settings()), &dev, SLOT(set_seq_settings()));
        QObject::connect(rx[0], SIGNAL(set_seq_settings()), &dev, SLOT(set_seq_settings()));
        QObject::connect(tx[1], SIGNAL(set_seq_settings()), &dev, SLOT(set_seq_settings()));
        QObject::connect(rx[1], SIGNAL(set_seq_settings()), &dev, SLOT(set_seq_settings()));
        QObject::connect(tx[0], SIGNAL(set_freq_settings()), &dev, SLOT(set_freq_settings_a()));
        QObject::connect(tx[1], SIGNAL(set_freq_settings()), &dev, SLOT(set_freq_settings_b()));
        QObject::connect(tx[0], SIGNAL(set_linear_settings()), &dev, SLOT(set_linear_settings()));
        QObject::connect(rx[0], SIGNAL(set_linear_settings()), &dev, SLOT(set_linear_settings()));
        QObject::connect(tx[1], SIGNAL(set_linear_settings()), &dev, SLOT(set_linear_settings()));
        QObject::connect(rx[1], SIGNAL(set_linear_settings()), &dev, SLOT(set_linear_settings()));
        QObject::connect(tx[0], SIGNAL(set_error_settings()), &dev, SLOT(set_error_settings_a()));
        QObject::connect(tx[1], SIGNAL(set_error_settings()), &dev, SLOT(set_error_settings_b()));
        QObject::connect(tx[0], SIGNAL(set_defect_settings()), &dev, SLOT(set_defect_settings_a()));
        QObject::connect(tx[1], SIGNAL(set_defect_settings()), &dev, SLOT(set_defect_settings_b()));
        QObject::connect(tx[0], SIGNAL(set_cycle_settings()), &dev, SLOT(set_cycle_settings_a()));
        QObject::connect(rx[0], SIGNAL(set_cycle_settings()), &dev, SLOT(set_cycle_settings_a()));
        QObject::connect(tx[1], SIGNAL(set_cycle_settings()), &dev, SLOT(set_cycle_settings_b()));
        QObject::connect(rx[1], SIGNAL(set_cycle_settings()), &dev, SLOT(set_cycle_settings_b()));
        QObject::connect(tx[0], SIGNAL(set_channel_settings()), &dev, SLOT(set_channel_settings_a()));
        QObject::connect(rx[0], SIGNAL(set_channel_settings()), &dev, SLOT(set_channel_settings_a()));
        QObject::connect(tx[1], SIGNAL(set_channel_settings()), &dev, SLOT(set_channel_settings_b()));
        QObject::connect(rx[1], SIGNAL(set_channel_settings()), &dev, SLOT(set_channel_settings_b()));
        QObject::connect(tx[0], SIGNAL(set_jitter_settings()), &dev, SLOT(set_jitter_settings()));
        // The main window's configuration refresh: receiver, transmitter, then (A) the settings panel.
        QObject::connect(&dev, &Device::cfg_rcv, &host, [this](uchar ch) {
            const int c = ch == 0 ? 0 : 1;
            rx[c]->update_form();
            tx[c]->update_form();
            if (c == 0)
                sf->update_form();
        });
    }

    // Runs the exchange until nothing is queued or in flight.
    void pump()
    {
        for (int i = 0; i < 2000 && (dev.awaiting_reply || !dev.cmd_queue.isEmpty() || !dev.rec_queue.isEmpty()); ++i)
            dev.tDevIOTimeout();
    }

    // Opens the instrument and completes the identity exchange; the timers stay still.
    void connect_instrument()
    {
        dev.tDevScanTimeout();
        dev.io_timer->stop();
        pump();
        dev.res_timer->stop();
    }

    template <class T>
    T* w(QWidget* panel, const char* name)
    {
        T* found = panel->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
};

// The offscreen platform complains at every combo popup that it cannot raise
// it or grab the keyboard; those lines say nothing about the panels.
inline void quiet_offscreen_popups()
{
    static QtMessageHandler next = nullptr;
    next = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
        if (msg.startsWith(QLatin1String("This plugin does not support")))
            return;
        if (next)
            next(type, ctx, msg);
    });
}

// A mouse click where the user would click: on the indicator of a check or
// radio box, in the middle of anything else.
inline void click(QAbstractButton* b)
{
    const bool box = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, box ? QPoint(7, b->height() / 2) : b->rect().center());
}

// Opens the list and picks item `index` with the keyboard: arrows, then Return.
// Like the user, this emits activated even when the item is the current one.
inline void choose(QComboBox* c, int index)
{
    c->showPopup();
    QAbstractItemView* v = c->view();
    int at = c->currentIndex();
    while (at < index) {
        QTest::keyClick(v, Qt::Key_Down);
        ++at;
    }
    while (at > index) {
        QTest::keyClick(v, Qt::Key_Up);
        --at;
    }
    QTest::keyClick(v, Qt::Key_Return);
}

// Replaces the whole text of a line edit by typing.
inline void type(QLineEdit* e, const QString& text)
{
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    else
        QTest::keyClicks(e, text);
}
