#include "usb/libusb_backend.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace usb {

namespace {

// Received bytes kept at most; beyond it the IN pipe is left idle (the device
// holds its data back) until the program reads.
constexpr size_t RX_LIMIT = 65536;
// How long close() lets cancelled IN transfers come back before giving up.
constexpr int CANCEL_WAIT_MS = 2000;
// IN transfers kept queued, one packet each: the packets of a longer reply are
// taken in back to back, not one per look at the queue.
constexpr int IN_TRANSFERS = 4;

struct Link;

struct InTransfer {
    Link* link = nullptr;
    libusb_transfer* t = nullptr;
    std::vector<unsigned char> buf;
    bool busy = false;
};

struct Link {
    libusb_device* dev = nullptr;
    libusb_device_handle* h = nullptr;
    quint32 index = 0;
    int iface = -1;
    unsigned char epIn = 0;
    unsigned char epOut = 0;
    InTransfer in[IN_TRANSFERS];
    std::vector<unsigned char> rx;
    bool closing = false;
    bool gone = false;   // the device was unplugged
    bool failed = false; // the IN pipe broke for another reason
};

bool submitIn(InTransfer* in)
{
    const int r = libusb_submit_transfer(in->t);
    if (r == 0) {
        in->busy = true;
        return true;
    }
    if (r == LIBUSB_ERROR_NO_DEVICE)
        in->link->gone = true;
    else
        in->link->failed = true;
    return false;
}

bool inFlight(const Link* l)
{
    for (const InTransfer& in : l->in)
        if (in.busy)
            return true;
    return false;
}

// Queues every idle IN transfer while the link is healthy and has room.
bool refill(Link* l)
{
    for (InTransfer& in : l->in)
        if (!in.busy && in.t && !l->closing && !l->gone && !l->failed && l->rx.size() < RX_LIMIT)
            if (!submitIn(&in))
                return false;
    return true;
}

void LIBUSB_CALL onIn(libusb_transfer* t)
{
    InTransfer* in = static_cast<InTransfer*>(t->user_data);
    Link* l = in->link;
    in->busy = false;
    switch (t->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        l->rx.insert(l->rx.end(), t->buffer, t->buffer + t->actual_length);
        break;
    case LIBUSB_TRANSFER_CANCELLED:
        return;
    case LIBUSB_TRANSFER_NO_DEVICE:
        l->gone = true;
        return;
    default: // stall, overflow, error
        l->failed = true;
        return;
    }
    if (!l->closing && !l->gone && !l->failed && l->rx.size() < RX_LIMIT)
        submitIn(in);
}

quint32 linkStatus(const Link* l)
{
    if (l->gone)
        return DEVICE_NOT_FOUND;
    if (l->failed)
        return DEVICE_IO_FAILED;
    return SUCCESS;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

} // namespace

struct LibusbBackend::Impl {
    libusb_context* ctx = nullptr;
    quint16 vid = 0;
    quint16 pid = 0;
    std::vector<Link*> links;
    std::string openError;

    // Lets libusb finish what has completed, without waiting; restarts an idle
    // IN pipe once the program has made room.
    void pump()
    {
        timeval tv{0, 0};
        libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
        for (Link* l : links)
            refill(l);
    }

    Link* find(Handle h) const
    {
        for (Link* l : links)
            if (l == h)
                return l;
        return nullptr;
    }

    bool matches(libusb_device* dev) const
    {
        libusb_device_descriptor dd;
        return libusb_get_device_descriptor(dev, &dd) == 0 && dd.idVendor == vid && dd.idProduct == pid;
    }

    // Attached devices with our id, referenced; the caller unrefs them.
    bool attached(std::vector<libusb_device*>* out) const
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx, &list);
        if (n < 0)
            return false;
        for (ssize_t i = 0; i < n; ++i)
            if (matches(list[i]))
                out->push_back(libusb_ref_device(list[i]));
        libusb_free_device_list(list, 1);
        return true;
    }

    static void unref(std::vector<libusb_device*>& devs)
    {
        for (libusb_device* d : devs)
            libusb_unref_device(d);
        devs.clear();
    }

    std::string where(libusb_device* dev) const
    {
        return format("USB %04x:%04x, bus %03u address %03u", vid, pid,
                      unsigned(libusb_get_bus_number(dev)), unsigned(libusb_get_device_address(dev)));
    }

    // Cancels the IN transfers and frees the link; with `closeHandle` also
    // closes the device handle and drops the device reference. False when
    // libusb would not give a transfer back (then nothing is freed).
    bool closeLink(Link* l, bool closeHandle = true);
};

LibusbBackend::LibusbBackend(quint16 vid, quint16 pid) : vid_(vid), pid_(pid), d_(new Impl)
{
    d_->vid = vid;
    d_->pid = pid;
    if (libusb_init(&d_->ctx) != 0) {
        d_->ctx = nullptr;
        // Said from the start: the scan fails on the device count and never reaches open().
        d_->openError = "The USB library could not be started.";
    }
}

LibusbBackend::~LibusbBackend()
{
    while (!d_->links.empty())
        d_->closeLink(d_->links.back());
    if (d_->ctx)
        libusb_exit(d_->ctx);
    delete d_;
}

bool LibusbBackend::isReady() const { return d_->ctx != nullptr; }

std::string LibusbBackend::lastOpenError() const { return d_->openError; }

quint32 LibusbBackend::getNumDevices(quint32* count)
{
    if (!count)
        return INVALID_PARAMETER;
    if (!d_->ctx)
        return GLOBAL_DATA_ERROR;
    d_->pump();
    std::vector<libusb_device*> devs;
    if (!d_->attached(&devs))
        return SYSTEM_ERROR_CODE;
    *count = quint32(devs.size());
    Impl::unref(devs);
    return SUCCESS;
}

quint32 LibusbBackend::getDeviceString(quint32 index, char* buffer, quint32 option)
{
    if (!buffer)
        return INVALID_PARAMETER;
    if (!d_->ctx)
        return GLOBAL_DATA_ERROR;
    d_->pump();
    std::vector<libusb_device*> devs;
    if (!d_->attached(&devs))
        return SYSTEM_ERROR_CODE;

    libusb_device* dev = nullptr;
    for (Link* l : d_->links) {
        if (l->index != index)
            continue;
        // The opened device itself: is it still attached?
        if (!l->gone && std::find(devs.begin(), devs.end(), l->dev) == devs.end())
            l->gone = true;
        if (l->gone) {
            Impl::unref(devs);
            return DEVICE_NOT_FOUND;
        }
        dev = l->dev;
        break;
    }
    if (!dev && index < devs.size())
        dev = devs[index];
    if (!dev) {
        Impl::unref(devs);
        return DEVICE_NOT_FOUND;
    }

    std::string text;
    if (option == 3)
        text = format("%04x", d_->vid);
    else if (option == 4)
        text = format("%04x", d_->pid);
    else
        text = format("%04x:%04x bus %03u address %03u", d_->vid, d_->pid,
                      unsigned(libusb_get_bus_number(dev)), unsigned(libusb_get_device_address(dev)));
    std::snprintf(buffer, 256, "%s", text.c_str());
    Impl::unref(devs);
    return SUCCESS;
}

namespace {

// The interface to talk through: one with a bulk IN and a bulk OUT endpoint,
// a vendor-specific one first.
bool pickInterface(libusb_device* dev, int* iface, unsigned char* epIn, unsigned char* epOut, int* inSize)
{
    libusb_config_descriptor* cfg = nullptr;
    if (libusb_get_active_config_descriptor(dev, &cfg) != 0 && libusb_get_config_descriptor(dev, 0, &cfg) != 0)
        return false;
    int bestScore = 0;
    for (int i = 0; i < cfg->bNumInterfaces; ++i) {
        if (cfg->interface[i].num_altsetting < 1)
            continue;
        const libusb_interface_descriptor& alt = cfg->interface[i].altsetting[0];
        int in = -1, out = -1, inPacket = 0;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[e];
            if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                if (in < 0) {
                    in = ep.bEndpointAddress;
                    inPacket = ep.wMaxPacketSize & 0x7ff;
                }
            } else if (out < 0) {
                out = ep.bEndpointAddress;
            }
        }
        if (in < 0 || out < 0)
            continue;
        const int score = alt.bInterfaceClass == LIBUSB_CLASS_VENDOR_SPEC ? 2 : 1;
        if (score > bestScore) {
            bestScore = score;
            *iface = alt.bInterfaceNumber;
            *epIn = static_cast<unsigned char>(in);
            *epOut = static_cast<unsigned char>(out);
            *inSize = inPacket > 0 ? inPacket : 64;
        }
    }
    libusb_free_config_descriptor(cfg);
    return bestScore > 0;
}

} // namespace

quint32 LibusbBackend::open(quint32 index, Handle* handle)
{
    if (!handle)
        return INVALID_PARAMETER;
    *handle = nullptr;
    if (!d_->ctx) {
        d_->openError = "The USB library could not be started.";
        return GLOBAL_DATA_ERROR;
    }
    d_->pump();
    std::vector<libusb_device*> devs;
    if (!d_->attached(&devs)) {
        d_->openError = "The USB devices could not be listed.";
        return SYSTEM_ERROR_CODE;
    }
    if (index >= devs.size()) {
        d_->openError = format("No instrument (USB %04x:%04x) is attached.", d_->vid, d_->pid);
        Impl::unref(devs);
        return DEVICE_NOT_FOUND;
    }
    libusb_device* dev = libusb_ref_device(devs[index]);
    Impl::unref(devs);

    const std::string where = d_->where(dev);
    auto fail = [&](libusb_device_handle* h, int r, const char* doing) -> quint32 {
        if (h)
            libusb_close(h);
        libusb_unref_device(dev);
        if (r == LIBUSB_ERROR_NO_DEVICE) {
            d_->openError = format("The instrument (%s) was unplugged while being opened.", where.c_str());
            return DEVICE_NOT_FOUND;
        }
        if (r == LIBUSB_ERROR_ACCESS)
            d_->openError = format("The instrument (%s) was found but could not be opened: permission denied. "
                                  "Install the udev rule 70-kelm.rules, then unplug and plug in the instrument.",
                                  where.c_str());
        else if (r == LIBUSB_ERROR_BUSY)
            d_->openError = format("The instrument (%s) was found but could not be opened: "
                                  "it is in use by another program.", where.c_str());
        else
            d_->openError = format("The instrument (%s) was found but could not be opened: %s failed (%s).",
                                  where.c_str(), doing, libusb_error_name(r));
        return DEVICE_NOT_ACCESSIBLE;
    };

    libusb_device_handle* h = nullptr;
    int r = libusb_open(dev, &h);
    if (r != 0)
        return fail(nullptr, r, "open");

    int iface = -1, inSize = 64;
    unsigned char epIn = 0, epOut = 0;
    if (!pickInterface(dev, &iface, &epIn, &epOut, &inSize)) {
        libusb_close(h);
        libusb_unref_device(dev);
        d_->openError = format("The device (%s) has no interface with bulk IN and OUT endpoints.", where.c_str());
        return DEVICE_NOT_ACCESSIBLE;
    }
    // A kernel driver bound to the interface would keep us out.
    if (libusb_kernel_driver_active(h, iface) == 1) {
        r = libusb_detach_kernel_driver(h, iface);
        if (r != 0 && r != LIBUSB_ERROR_NOT_FOUND)
            return fail(h, r, "detaching the kernel driver");
    }
    r = libusb_claim_interface(h, iface);
    if (r != 0)
        return fail(h, r, "claiming the interface");

    Link* l = new Link;
    l->dev = dev;
    l->h = h;
    l->index = index;
    l->iface = iface;
    l->epIn = epIn;
    l->epOut = epOut;
    bool allocated = true;
    for (InTransfer& in : l->in) {
        in.link = l;
        in.buf.resize(size_t(inSize));
        in.t = libusb_alloc_transfer(0);
        allocated = allocated && in.t;
        // One packet per transfer: every packet the device sends ends a
        // transfer, so a reply is never held back waiting for a buffer to fill.
        if (in.t)
            libusb_fill_bulk_transfer(in.t, h, epIn, in.buf.data(), inSize, onIn, &in, 0);
    }
    if (!allocated || !refill(l)) {
        const int why = !allocated ? LIBUSB_ERROR_NO_MEM : l->gone ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_ERROR_IO;
        // Should libusb keep a cancelled transfer, the handle must stay open.
        const bool freed = d_->closeLink(l, false);
        return fail(freed ? h : nullptr, why, "starting the receive transfers");
    }
    d_->links.push_back(l);
    d_->openError.clear();
    *handle = l;
    return SUCCESS;
}

bool LibusbBackend::Impl::closeLink(Link* l, bool closeHandle)
{
    links.erase(std::remove(links.begin(), links.end(), l), links.end());
    l->closing = true;
    if (inFlight(l)) {
        for (InTransfer& in : l->in)
            if (in.busy)
                libusb_cancel_transfer(in.t);
        const auto start = std::chrono::steady_clock::now();
        while (inFlight(l) && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(CANCEL_WAIT_MS)) {
            timeval tv{0, 20000};
            libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
        }
    }
    if (inFlight(l))
        return false; // libusb still owns a transfer: freeing it or the handle would be unsafe
    for (InTransfer& in : l->in)
        if (in.t)
            libusb_free_transfer(in.t);
    libusb_release_interface(l->h, l->iface);
    if (closeHandle) {
        libusb_close(l->h);
        libusb_unref_device(l->dev);
    }
    delete l;
    return true;
}

quint32 LibusbBackend::close(Handle handle)
{
    Link* l = d_->find(handle);
    if (!l)
        return INVALID_HANDLE;
    d_->closeLink(l);
    return SUCCESS;
}

quint32 LibusbBackend::beforeWrite(Handle handle, quint8, quint8 b)
{
    Link* l = d_->find(handle);
    if (!l)
        return INVALID_HANDLE;
    d_->pump();
    if (const quint32 st = linkStatus(l))
        return st;
    if (b)
        l->rx.clear();
    return SUCCESS;
}

quint32 LibusbBackend::write(Handle handle, const void* data, quint32 size, quint32* written)
{
    Link* l = d_->find(handle);
    if (!l)
        return INVALID_HANDLE;
    if (written)
        *written = 0;
    if (!data)
        return INVALID_PARAMETER;
    if (size == 0 || size > MAX_TRANSFER)
        return INVALID_REQUEST_LENGTH;
    d_->pump();
    if (const quint32 st = linkStatus(l))
        return st;
    int done = 0;
    unsigned char* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    const int r = libusb_bulk_transfer(l->h, l->epOut, bytes, int(size), &done, WRITE_TIMEOUT_MS);
    if (written)
        *written = quint32(done);
    switch (r) {
    case 0:
        return SUCCESS;
    case LIBUSB_ERROR_TIMEOUT:
        return WRITE_TIMED_OUT;
    case LIBUSB_ERROR_NO_DEVICE:
        l->gone = true;
        return DEVICE_NOT_FOUND;
    default:
        return WRITE_ERROR;
    }
}

quint32 LibusbBackend::checkRXQueue(Handle handle, quint32* bytes, quint32* queueStatus)
{
    Link* l = d_->find(handle);
    if (!l)
        return INVALID_HANDLE;
    if (!bytes)
        return INVALID_PARAMETER;
    *bytes = 0;
    if (queueStatus)
        *queueStatus = 0;
    d_->pump();
    if (const quint32 st = linkStatus(l))
        return st;
    *bytes = quint32(l->rx.size());
    if (queueStatus)
        *queueStatus = l->rx.empty() ? 0 : 2;
    return SUCCESS;
}

quint32 LibusbBackend::read(Handle handle, void* buffer, quint32 size, quint32* got)
{
    Link* l = d_->find(handle);
    if (!l)
        return INVALID_HANDLE;
    if (got)
        *got = 0;
    if (!buffer)
        return INVALID_PARAMETER;
    if (size == 0 || size > RX_LIMIT)
        return INVALID_REQUEST_LENGTH;
    d_->pump();
    if (const quint32 st = linkStatus(l))
        return st;
    const size_t n = std::min<size_t>(size, l->rx.size());
    std::memcpy(buffer, l->rx.data(), n);
    l->rx.erase(l->rx.begin(), l->rx.begin() + std::ptrdiff_t(n));
    if (got)
        *got = quint32(n);
    d_->pump(); // room again: restart an idle IN pipe
    return SUCCESS;
}

} // namespace usb
