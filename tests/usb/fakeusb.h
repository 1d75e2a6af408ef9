#pragma once
// An emulated USB bus for the libusb backend's tests: umockdev's testbed with
// instruments whose usbfs ioctls are answered here. The test program must run
// under umockdev-wrapper, and the bed must exist before the first libusb_init
// (libusb's device monitor binds to the first testbed). One bed per process.

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>

struct _UMockdevTestbed;
struct _UMockdevIoctlData;

class FakeBed;

// One emulated device: a single vendor interface with bulk OUT 0x01 and bulk
// IN 0x81 of 64-byte packets. Its ioctls arrive on umockdev's thread, so every
// member below is guarded by `mutex`.
class FakeDevice {
public:
    // Called (on umockdev's thread) with each bulk OUT transfer; what it returns
    // is queued for the IN pipe.
    using Responder = std::function<QByteArray(const QByteArray& written)>;

    void setResponder(Responder r);
    // Bytes the device sends without being asked.
    void pushIn(const QByteArray& bytes);
    QList<QByteArray> writes() const;
    int claims() const;
    int releases() const;
    int inFlightIn() const;
    // errno to answer the next interface claims with (0: accept).
    void setClaimErrno(int e);

    quint16 vid = 0;
    quint16 pid = 0;
    int address = 0;
    QString sysPath;
    QString devNode;

private:
    friend class FakeBed;
    friend struct FakeIoctl;
    struct Urb {
        _UMockdevIoctlData* data = nullptr;
        _UMockdevIoctlData* buffer = nullptr;
    };
    mutable std::mutex mutex;
    Responder responder;
    QByteArray pendingIn;
    std::deque<Urb> inFlight;
    std::deque<Urb> completed;
    QList<QByteArray> written;
    int claimCount = 0;
    int releaseCount = 0;
    int claimErrno = 0;
    bool unplugged = false;
};

class FakeBed {
public:
    FakeBed();
    ~FakeBed();

    bool ok() const { return tb != nullptr; }

    // Plugs in a device with this id (it announces itself to libusb). Without
    // `emulated` its node is a plain file that answers no ioctl.
    FakeDevice* add(quint16 vid, quint16 pid, bool emulated = true);
    // The bed's root directory.
    QString rootDir() const;
    // Pulls the device out: transfers in flight end as "device gone", later
    // ioctls fail, and the removal is announced.
    void unplug(FakeDevice* dev);
    // The device node's path inside the bed (for tests that spoil it).
    QString nodePath(const FakeDevice* dev) const;

private:
    _UMockdevTestbed* tb = nullptr;
    QList<FakeDevice*> devices; // kept until the end: umockdev may still call in
    int next = 0;
};

// The instrument's frame: A5, length, code, payload, inverted-sum checksum.
QByteArray instrumentFrame(quint8 code, const QByteArray& payload);
