// glib before Qt: Qt's keyword macros would clash with glib's headers.
#include <umockdev.h>

#include "fakeusb.h"

#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

QByteArray descriptors(quint16 vid, quint16 pid)
{
    const unsigned char d[] = {
        // device: USB 2.0, control packets of 64, no strings, one configuration
        18, 1, 0x00, 0x02, 0, 0, 0, 64, quint8(vid), quint8(vid >> 8), quint8(pid), quint8(pid >> 8), 0x00, 0x01,
        0, 0, 0, 1,
        // configuration 1: one interface, 32 bytes in all
        9, 2, 32, 0, 1, 1, 0, 0x80, 50,
        // interface 0: vendor specific, two endpoints
        9, 4, 0, 0, 2, 0xff, 0, 0, 0,
        // bulk OUT 0x01 and bulk IN 0x81, 64-byte packets
        7, 5, 0x01, 0x02, 64, 0, 0,
        7, 5, 0x81, 0x02, 64, 0, 0,
    };
    return QByteArray(reinterpret_cast<const char*>(d), sizeof d);
}

} // namespace

// The usbfs ioctls that libusb issues, answered on umockdev's thread.
struct FakeIoctl {
    static gboolean handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user)
    {
        FakeDevice* dev = static_cast<FakeDevice*>(user);
        std::lock_guard<std::mutex> lock(dev->mutex);
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        GError* error = nullptr;

        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            feedInUrbs(dev);
            if (dev->completed.empty()) {
                umockdev_ioctl_client_complete(client, -1, dev->unplugged ? ENODEV : EAGAIN);
                return TRUE;
            }
            FakeDevice::Urb urb = dev->completed.front();
            dev->completed.pop_front();
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            if (!slot) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
            umockdev_ioctl_data_set_ptr(slot, 0, urb.data);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(urb.data);
            return TRUE;
        }
        if (dev->unplugged) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(quint32), &error);
            if (caps)
                std::memset(caps->data, 0, sizeof(quint32));
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, caps ? 0 : -1, caps ? 0 : EFAULT);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER:
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_CLAIMINTERFACE:
            if (dev->claimErrno) {
                umockdev_ioctl_client_complete(client, -1, dev->claimErrno);
            } else {
                ++dev->claimCount;
                umockdev_ioctl_client_complete(client, 0, 0);
            }
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
            ++dev->releaseCount;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB:
            submit(dev, client, arg);
            return TRUE;
        case USBDEVFS_DISCARDURB: {
            const gulong addr = *reinterpret_cast<const gulong*>(arg->data);
            for (auto it = dev->inFlight.begin(); it != dev->inFlight.end(); ++it) {
                if (it->data->client_addr != addr)
                    continue;
                finish(*it, -ENOENT, 0);
                dev->completed.push_back(*it);
                dev->inFlight.erase(it);
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return TRUE;
        }
    }

    static usbdevfs_urb* urbOf(const FakeDevice::Urb& u) { return reinterpret_cast<usbdevfs_urb*>(u.data->data); }

    static void finish(const FakeDevice::Urb& u, int status, int length)
    {
        urbOf(u)->status = status;
        urbOf(u)->actual_length = length;
    }

    static void submit(FakeDevice* dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        GError* error = nullptr;
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        if (!data) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        usbdevfs_urb* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
        FakeDevice::Urb u;
        u.data = static_cast<UMockdevIoctlData*>(g_object_ref(data));
        if (urb->buffer_length > 0) {
            u.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), gsize(urb->buffer_length),
                                                   &error);
            g_clear_error(&error);
        }
        if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == 0x81) {
            dev->inFlight.push_back(u);
        } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == 0x01 && u.buffer) {
            const QByteArray out(reinterpret_cast<const char*>(u.buffer->data), urb->buffer_length);
            dev->written << out;
            if (dev->responder)
                dev->pendingIn += dev->responder(out);
            finish(u, 0, urb->buffer_length);
            dev->completed.push_back(u);
        } else {
            finish(u, -EPIPE, 0); // nothing else is served: stall
            dev->completed.push_back(u);
        }
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    // Hands waiting device data to the IN transfers, a packet each at most.
    static void feedInUrbs(FakeDevice* dev)
    {
        while (!dev->pendingIn.isEmpty() && !dev->inFlight.empty()) {
            FakeDevice::Urb u = dev->inFlight.front();
            dev->inFlight.pop_front();
            const int room = u.buffer ? std::min(urbOf(u)->buffer_length, 64) : 0;
            const int n = std::min<int>(room, int(dev->pendingIn.size()));
            if (n > 0)
                std::memcpy(u.buffer->data, dev->pendingIn.constData(), size_t(n));
            dev->pendingIn.remove(0, n);
            finish(u, 0, n);
            dev->completed.push_back(u);
        }
    }
};

void FakeDevice::setResponder(Responder r)
{
    std::lock_guard<std::mutex> lock(mutex);
    responder = std::move(r);
}

void FakeDevice::pushIn(const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    pendingIn += bytes;
}

QList<QByteArray> FakeDevice::writes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return written;
}

int FakeDevice::claims() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return claimCount;
}

int FakeDevice::releases() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return releaseCount;
}

int FakeDevice::inFlightIn() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(inFlight.size());
}

void FakeDevice::setClaimErrno(int e)
{
    std::lock_guard<std::mutex> lock(mutex);
    claimErrno = e;
}

FakeBed::FakeBed()
{
    // Without the preload a testbed would not be seen by libusb at all.
    if (qgetenv("LD_PRELOAD").contains("umockdev-preload"))
        tb = umockdev_testbed_new();
}

FakeBed::~FakeBed()
{
    if (tb)
        g_object_unref(tb); // stops umockdev's thread: no more calls into the devices
    for (FakeDevice* dev : devices) {
        for (auto* q : {&dev->inFlight, &dev->completed})
            for (const FakeDevice::Urb& u : *q)
                g_object_unref(u.data);
        delete dev;
    }
}

FakeDevice* FakeBed::add(quint16 vid, quint16 pid, bool emulated)
{
    auto* dev = new FakeDevice;
    devices << dev;
    dev->vid = vid;
    dev->pid = pid;
    dev->address = 2 + next++;
    const QString addr = QString::asprintf("%03d", dev->address);
    dev->devNode = QStringLiteral("/dev/bus/usb/001/") + addr;
    const QString ids = QString::asprintf("%04x/%04x/100", vid, pid);
    const QString record = QStringLiteral("P: /devices/usb1/1-%1\n"
                                          "N: bus/usb/001/%2\n"
                                          "E: DEVNAME=%3\n"
                                          "E: DEVTYPE=usb_device\n"
                                          "E: SUBSYSTEM=usb\n"
                                          "E: BUSNUM=001\n"
                                          "E: DEVNUM=%2\n"
                                          "E: PRODUCT=%4\n"
                                          "A: busnum=1\n"
                                          "A: devnum=%5\n"
                                          "A: speed=12\n"
                                          "A: bConfigurationValue=1\n"
                                          "A: idVendor=%6\n"
                                          "A: idProduct=%7\n"
                                          "H: descriptors=%8\n")
                               .arg(dev->address)
                               .arg(addr, dev->devNode, ids)
                               .arg(dev->address)
                               .arg(QString::asprintf("%04x", vid), QString::asprintf("%04x", pid),
                                    QString::fromLatin1(descriptors(vid, pid).toHex()));
    dev->sysPath = QStringLiteral("/sys/devices/usb1/1-%1").arg(dev->address);

    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(tb, record.toUtf8().constData(), &error)) {
        qWarning("umockdev: %s", error ? error->message : "add failed");
        g_clear_error(&error);
        return dev;
    }
    if (emulated) {
        UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(FakeIoctl::handle), dev);
        if (!umockdev_testbed_attach_ioctl(tb, dev->devNode.toUtf8().constData(), handler, &error)) {
            qWarning("umockdev: %s", error ? error->message : "attach failed");
            g_clear_error(&error);
        }
        g_object_unref(handler);
    }
    umockdev_testbed_uevent(tb, dev->sysPath.toUtf8().constData(), "add");
    return dev;
}

void FakeBed::unplug(FakeDevice* dev)
{
    {
        std::lock_guard<std::mutex> lock(dev->mutex);
        dev->unplugged = true;
        while (!dev->inFlight.empty()) {
            FakeIoctl::finish(dev->inFlight.front(), -ESHUTDOWN, 0);
            dev->completed.push_back(dev->inFlight.front());
            dev->inFlight.pop_front();
        }
    }
    const QByteArray path = dev->sysPath.toUtf8();
    umockdev_testbed_uevent(tb, path.constData(), "remove");
    umockdev_testbed_remove_device(tb, path.constData());
}

QString FakeBed::rootDir() const
{
    gchar* root = umockdev_testbed_get_root_dir(tb);
    const QString path = QString::fromUtf8(root);
    g_free(root);
    return path;
}

QString FakeBed::nodePath(const FakeDevice* dev) const { return rootDir() + dev->devNode; }

QByteArray instrumentFrame(quint8 code, const QByteArray& payload)
{
    QByteArray f;
    f.append(char(0xA5));
    f.append(char(payload.size() + 2));
    f.append(char(code));
    f.append(payload);
    quint8 sum = 0;
    for (char c : f)
        sum = quint8(sum + quint8(c));
    f.append(char(quint8(~sum)));
    return f;
}
