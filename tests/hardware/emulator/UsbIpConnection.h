#pragma once
// The device's end of a USB/IP connection: reads CMD_SUBMIT and CMD_UNLINK, answers control transfers at
// once, and keeps IN transfers on the status and video endpoints pending until the device has data, as
// a real device NAKs until then.
#include <cstdint>
#include <list>
#include <span>
#include <vector>

#include "RequestLog.h"
#include "ScannerDevice.h"
#include "UsbIpWire.h"

namespace vistrel::uvcemu {

class UsbIpConnection {
public:
    // fd: the device's end of a stream socket; the connection closes it.
    UsbIpConnection(int fd, ScannerDevice& device, RequestLog& log);
    ~UsbIpConnection();
    UsbIpConnection(const UsbIpConnection&) = delete;
    UsbIpConnection& operator=(const UsbIpConnection&) = delete;

    int Fd() const { return fd; }
    // Reads what the host sent and answers it; false when the host has gone (detached).
    bool OnReadable();
    // Hands the device's data to pending IN transfers.
    void Pump();
    std::size_t PendingTransfers() const { return pending.size(); }

    // Handles bytes as if read from the socket (tests feed messages through this).
    void Receive(std::span<const std::uint8_t> bytes);

private:
    struct Pending {
        std::uint32_t seqnum;
        std::uint32_t endpoint;
        std::size_t capacity;
        std::vector<std::uint8_t> data;
        std::vector<IsoPacket> iso;   // the packets of an isochronous transfer; empty for bulk/interrupt
        std::int32_t startFrame = 0;
    };

    void Handle(const UsbIpHeader& header, std::span<const std::uint8_t> out, std::vector<IsoPacket> iso);
    void Send(const std::vector<std::uint8_t>& message);

    int fd;
    ScannerDevice& device;
    RequestLog& log;
    std::vector<std::uint8_t> input;
    std::list<Pending> pending;
    bool broken = false;
};

} // namespace vistrel::uvcemu
