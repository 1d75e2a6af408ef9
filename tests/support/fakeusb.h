#pragma once
// An emulated USB bus: umockdev's testbed with instruments whose usbfs ioctls
// are answered here, under umockdev-wrapper. The bed must exist before the
// first libusb_init, and this header come before Qt's (glib's names clash).

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include "usb/usb.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <mutex>

// One emulated device: a vendor interface with bulk OUT 0x01 and bulk IN 0x81
// of 64-byte packets. Its ioctls arrive on umockdev's thread, hence the mutex.
struct FakeDevice {
    // Gets each bulk OUT transfer; what it returns is sent back on the IN pipe.
    using Responder = std::function<QByteArray(const QByteArray& written)>;
    Responder responder;
    QString sysPath, devNode;

    struct Urb {
        UMockdevIoctlData* data; // the usbdevfs_urb
        UMockdevIoctlData* buffer;
        void finish(int status, int length) const
        {
            reinterpret_cast<usbdevfs_urb*>(data->data)->status = status;
            reinterpret_cast<usbdevfs_urb*>(data->data)->actual_length = length;
        }
    };
    mutable std::mutex mutex;
    QByteArray pendingIn;
    std::deque<Urb> inFlight;  // IN transfers waiting for data
    std::deque<Urb> completed; // to be reaped
    std::atomic<bool> unplugged{false};

    int submit(UMockdevIoctlData* arg)
    {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        const usbdevfs_urb* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
        const Urb u{static_cast<UMockdevIoctlData*>(g_object_ref(data)),
                    umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), urb->buffer_length, nullptr)};
        if (urb->endpoint == 0x81) {
            inFlight.push_back(u);
            return 0;
        }
        pendingIn += responder(QByteArray(reinterpret_cast<const char*>(u.buffer->data), urb->buffer_length));
        u.finish(0, urb->buffer_length);
        completed.push_back(u);
        return 0;
    }

    // Finishes what can be finished and hands out the first, if any.
    int reap(UMockdevIoctlData* arg)
    {
        while (!inFlight.empty() && (unplugged || !pendingIn.isEmpty())) {
            const Urb u = inFlight.front();
            inFlight.pop_front();
            const int n = std::min({u.buffer->data_len, 64, int(pendingIn.size())}); // a packet at most
            std::memcpy(u.buffer->data, pendingIn.constData(), size_t(n));
            pendingIn.remove(0, n);
            u.finish(unplugged ? -ESHUTDOWN : 0, n);
            completed.push_back(u);
        }
        if (completed.empty())
            return unplugged ? ENODEV : EAGAIN;
        umockdev_ioctl_data_set_ptr(umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr), 0,
                                    completed.front().data);
        g_object_unref(completed.front().data);
        completed.pop_front();
        return 0;
    }

    int discard(gulong addr)
    {
        const auto it = std::find_if(inFlight.begin(), inFlight.end(),
                                     [addr](const Urb& u) { return u.data->client_addr == addr; });
        if (it == inFlight.end())
            return EINVAL;
        it->finish(-ENOENT, 0);
        completed.push_back(*it);
        inFlight.erase(it);
        return 0;
    }

    static gboolean handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        FakeDevice* dev = static_cast<FakeDevice*>(self);
        std::lock_guard<std::mutex> lock(dev->mutex);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const gulong request = umockdev_ioctl_client_get_request(client);
        int error = 0;
        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY)
            error = dev->reap(arg);
        else if (dev->unplugged)
            error = ENODEV;
        else if (request == USBDEVFS_SUBMITURB)
            error = dev->submit(arg);
        else if (request == USBDEVFS_DISCARDURB)
            error = dev->discard(*reinterpret_cast<const gulong*>(arg->data));
        else if (request != USBDEVFS_CLAIMINTERFACE && request != USBDEVFS_RELEASEINTERFACE)
            error = ENOTTY;
        umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        return TRUE;
    }
};

class FakeBed {
public:
    // Some other device is on the bus from the start: libusb wants a usbfs
    // that is not empty, and it must not count as an instrument.
    FakeBed() : tb(umockdev_testbed_new())
    {
        add(0x1d6b, 0x0002);
    }
    // Stops umockdev's thread before the devices go.
    ~FakeBed() { g_object_unref(tb); }
    bool ok() const { return umockdev_in_mock_environment(); }

    // Plugs in a device with this id, announced to libusb. Without `emulated`
    // its node is a plain file in the bed ($UMOCKDEV_DIR) that answers no ioctl.
    FakeDevice* add(quint16 vid, quint16 pid, FakeDevice::Responder responder = {}, bool emulated = true)
    {
        FakeDevice* dev = &devices.emplace_back();
        dev->responder = std::move(responder);
        const int address = 2 + int(devices.size());
        const QString addr = QString::asprintf("%03d", address);
        const QString node = dev->devNode = "/dev/bus/usb/001/" + addr;
        dev->sysPath = QStringLiteral("/sys/devices/usb1/1-%1").arg(address);
        const unsigned char d[] = {
            // device: USB 2.0, control packets of 64, one configuration
            18, 1, 0x00, 0x02, 0, 0, 0, 64, quint8(vid), quint8(vid >> 8), quint8(pid), quint8(pid >> 8), 0, 1, 0, 0,
            0, 1,
            // configuration 1 with interface 0: vendor specific, two endpoints
            9, 2, 32, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 2, 0xff, 0, 0, 0,
            // bulk OUT 0x01 and bulk IN 0x81, 64-byte packets
            7, 5, 0x01, 0x02, 64, 0, 0, 7, 5, 0x81, 0x02, 64, 0, 0};
        const QString record =
            QStringLiteral("P: /devices/usb1/1-%1\nN: bus/usb/001/%2\nE: DEVNAME=%3\nE: DEVTYPE=usb_device\n"
                           "E: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=%2\nA: busnum=1\nA: devnum=%1\nA: speed=12\n"
                           "A: bConfigurationValue=1\nA: idVendor=%4\nA: idProduct=%5\nH: descriptors=%6\n")
                .arg(QString::number(address), addr, node, QString::asprintf("%04x", vid),
                     QString::asprintf("%04x", pid),
                     QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(d), sizeof d).toHex()));
        umockdev_testbed_add_from_string(tb, record.toUtf8().constData(), nullptr);
        if (emulated) {
            UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
            g_signal_connect(handler, "handle-ioctl", G_CALLBACK(FakeDevice::handle), dev);
            umockdev_testbed_attach_ioctl(tb, node.toUtf8().constData(), handler, nullptr);
            g_object_unref(handler);
        }
        umockdev_testbed_uevent(tb, dev->sysPath.toUtf8().constData(), "add");
        return dev;
    }

    // Pulls the device out (once): transfers in flight end as "device gone",
    // later ioctls fail, and the removal is announced.
    void unplug(FakeDevice* dev)
    {
        if (dev->unplugged.exchange(true))
            return;
        umockdev_testbed_uevent(tb, dev->sysPath.toUtf8().constData(), "remove");
        umockdev_testbed_remove_device(tb, dev->sysPath.toUtf8().constData());
    }

private:
    UMockdevTestbed* tb;
    std::list<FakeDevice> devices; // kept until the end: umockdev may still call in
};

// Instruments the backend sees (1000 when the count fails).
inline quint32 instruments(usb::Backend* b)
{
    quint32 n = 0;
    return b->getNumDevices(&n) == usb::SUCCESS ? n : 1000;
}
