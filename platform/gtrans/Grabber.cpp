// Stream grabber: socket, receive thread and the buffer queue.
#include "gtrans/Grabber.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "gtrans/Status.h"
#include "gtrans/Wire.h"

namespace gtrans {
namespace {

// Loopback loss is receive-buffer overflow: ask for a large buffer, beyond
// the system's limit where the process may.
constexpr int kReceiveBuffer = 32 << 20;
constexpr int kBatch = 64;
constexpr int kPollMs = 5;
constexpr uint32_t kMinPacketSize = 576;
constexpr uint32_t kMaxPacketSize = 9000;

uint64_t NowUs() {
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

} // namespace

Grabber::~Grabber() {
    Stop();
    if (socket_ >= 0)
        close(socket_);
    if (resendSocket_ >= 0)
        close(resendSocket_);
}

uint32_t Grabber::Create() {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        return Fail(kSocketError, std::string("stream socket: ") + strerror(errno));
    resendSocket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (resendSocket_ < 0)
        return Fail(kSocketError, std::string("resend socket: ") + strerror(errno));
    int size = kReceiveBuffer;
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return Fail(kSocketError, std::string("stream socket bind: ") + strerror(errno));
    localAddress_ = ntohl(local.sin_addr.s_addr);
    localPort_ = ntohs(local.sin_port);
    return 0;
}

uint32_t Grabber::Alloc(uint32_t maxBuffers, uint32_t bufferSize, uint32_t packetSize) {
    if (maxBuffers == 0 || bufferSize == 0 || packetSize < kMinPacketSize ||
        packetSize > kMaxPacketSize)
        return Fail(kInvalidArgument, "stream resources: " + std::to_string(maxBuffers) +
                                          " buffers of " + std::to_string(bufferSize) +
                                          " bytes, packet size " + std::to_string(packetSize) +
                                          " (576..9000)");
    std::lock_guard<std::mutex> lock(mutex_);
    if (assembler_)
        return Fail(kBadState, "stream resources already allocated");
    maxBuffers_ = maxBuffers;
    packetSize_ = packetSize;
    assembler_.reset(new Assembler(packetSize - uint32_t(gvwire::kPacketOverhead), resend_));
    thread_ = std::thread(&Grabber::Run, this);
    return 0;
}

uint32_t Grabber::GetAddress(GxStreamAddress& address) const {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort_);
    local.sin_addr.s_addr = htonl(localAddress_);
    static_assert(sizeof local <= sizeof address.bytes, "the address record holds a sockaddr_in");
    memset(address.bytes, 0, sizeof address.bytes);
    memcpy(address.bytes, &local, sizeof local);
    return 0;
}

bool Grabber::Owns(const uint8_t* address, size_t size) const {
    sockaddr_in record{};
    if (size < sizeof record)
        return false;
    memcpy(&record, address, sizeof record);
    return record.sin_family == AF_INET && ntohs(record.sin_port) == localPort_ &&
           ntohl(record.sin_addr.s_addr) == localAddress_;
}

void Grabber::Bind(uint32_t camera, uint16_t controlPort, bool resend) {
    std::lock_guard<std::mutex> lock(mutex_);
    camera_ = camera;
    cameraPort_ = controlPort;
    resend_ = resend;
    if (assembler_)
        assembler_->SetResend(resend);
}

uint32_t Grabber::Queue(void* buffer, uint32_t size, void* context) {
    if (!buffer || size == 0)
        return Fail(kInvalidArgument, "queued buffer is null or empty");
    std::lock_guard<std::mutex> lock(mutex_);
    if (!assembler_)
        return Fail(kBadState, "buffer queued before the stream resources were allocated");
    if (assembler_->Outstanding() + assembler_->Delivered().size() >= maxBuffers_)
        return Fail(kQueueFull, std::to_string(maxBuffers_) + " buffers already queued");
    assembler_->Queue(QueuedBuffer{static_cast<uint8_t*>(buffer), size, context});
    return 0;
}

uint32_t Grabber::Wait(uint32_t timeoutMs, void** context) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (assembler_ && !assembler_->Delivered().empty()) {
            const Delivery delivery = assembler_->Delivered().front();
            assembler_->Delivered().pop_front();
            if (context)
                *context = delivery.context;
            return delivery.status;
        }
        if (!assembler_ || assembler_->Outstanding() == 0 || stop_)
            return GX_STATUS_FLUSHED;
        if (delivered_.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (assembler_->Delivered().empty())
                return GX_STATUS_TIMEOUT;
        }
    }
}

uint32_t Grabber::Flush() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (assembler_)
            assembler_->Flush();
    }
    delivered_.notify_all();
    return 0;
}

void Grabber::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    delivered_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Grabber::Statistics(GxGrabberStatistics& stats) {
    std::lock_guard<std::mutex> lock(mutex_);
    memset(&stats, 0, sizeof stats);
    if (!assembler_)
        return;
    const AssemblerCounters& c = assembler_->Counters();
    stats.framesCompleted = c.framesCompleted;
    stats.framesIncomplete = c.framesIncomplete;
    stats.packetsReceived = c.packetsReceived;
    stats.packetsResent = c.packetsResent;
    stats.packetsRequested = c.packetsRequested;
    stats.resendCommands = c.resendCommands;
    stats.packetsDropped = c.packetsDropped;
    stats.bytesCompleted = c.bytesCompleted;
}

void Grabber::SendResends(const std::vector<ResendRange>& ranges, uint32_t camera, uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(camera);
    for (const ResendRange& range : ranges) {
        if (++resendReqId_ == 0)
            resendReqId_ = 1;
        gvwire::ResendRequest request;
        request.blockId = range.blockId;
        request.firstPacket = range.first;
        request.lastPacket = range.last;
        uint8_t out[gvwire::kHeaderSize + 12];
        // Never with the acknowledge flag: the answer is the packets themselves.
        const size_t size = gvwire::EncodePacketResendCmd(out, sizeof out, resendReqId_, request);
        if (size)
            sendto(resendSocket_, out, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&peer),
                   sizeof peer);
    }
}

void Grabber::Run() {
    // Named, so tools can find the receive thread (and its CPU time).
    pthread_setname_np(pthread_self(), "gtrans-receive");
    const size_t slot = packetSize_ + 64;
    std::vector<uint8_t> storage(slot * kBatch);
    std::vector<mmsghdr> messages(kBatch);
    std::vector<iovec> vectors(kBatch);
    std::vector<sockaddr_in> sources(kBatch);
    std::vector<ResendRange> resend;
    for (;;) {
        pollfd fd{socket_, POLLIN, 0};
        poll(&fd, 1, kPollMs);
        for (int i = 0; i < kBatch; ++i) {
            vectors[i] = iovec{storage.data() + slot * size_t(i), slot};
            messages[i].msg_hdr = msghdr{};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &sources[i];
            messages[i].msg_hdr.msg_namelen = sizeof sources[i];
            messages[i].msg_len = 0;
        }
        const int count = recvmmsg(socket_, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
        const uint64_t now = NowUs();
        resend.clear();
        uint32_t camera = 0;
        uint16_t port = 0;
        bool any = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                return;
            for (int i = 0; i < count; ++i) {
                const bool ours = camera_ != 0 &&
                                  messages[i].msg_hdr.msg_namelen >= sizeof(sockaddr_in) &&
                                  sources[i].sin_family == AF_INET &&
                                  ntohl(sources[i].sin_addr.s_addr) == camera_;
                // A datagram cut by the slot size is malformed as well.
                if (!ours || (messages[i].msg_hdr.msg_flags & MSG_TRUNC))
                    assembler_->CountDropped();
                else
                    assembler_->OnPacket(storage.data() + slot * size_t(i), messages[i].msg_len,
                                         now, resend);
            }
            assembler_->OnTick(now, resend);
            any = !assembler_->Delivered().empty();
            camera = camera_;
            port = cameraPort_;
        }
        if (any)
            delivered_.notify_all();
        if (!resend.empty() && camera != 0)
            SendResends(resend, camera, port);
    }
}

} // namespace gtrans
