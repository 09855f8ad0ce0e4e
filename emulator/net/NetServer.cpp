// The emulator's network side: binding N cameras and running their threads.
#include "emulator/net/NetServer.h"

#include "emulator/net/NetCamera.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace Emulator {

namespace {

// Ephemeral ports tried before giving up: another program may hold the
// chosen port on one of the other addresses.
constexpr int kBindAttempts = 20;

} // namespace

NetServer::NetServer(NetOptions options) : options_(std::move(options)) {}

NetServer::~NetServer() {
    Stop();
}

uint16_t NetServer::Start() {
    if (started_) {
        return port_;
    }
    error_.clear();
    const ModelSpec* model = FindModel(options_.model);
    if (model == nullptr) {
        error_ = "unknown model '" + options_.model + "'";
        return 0;
    }
    const uint64_t last = uint64_t(options_.firstAddress) + options_.cameras - 1;
    if (options_.cameras == 0) {
        error_ = "no camera to serve";
        return 0;
    }
    if (!IsLoopback(options_.firstAddress) || last > 0x7FFFFFFEu) {
        error_ = "the cameras' addresses must lie in 127.0.0.0/8, below 127.255.255.255";
        return 0;
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = "cannot create the wake-up pipe";
        return 0;
    }
    stop_ = false;
    const auto epoch = NetCamera::Clock::now();
    cameras_.clear();
    for (unsigned i = 0; i < options_.cameras; ++i) {
        ModelSpec camera = *model;
        camera.eui64 = model->eui64 + i; // each camera its own GUID and serial number
        cameras_.push_back(std::make_unique<NetCamera>(camera, i, options_.firstAddress + i,
                                                       options_, wake_[0], stop_, epoch));
    }

    // A fixed port is tried once; an ephemeral one is the first camera's, and
    // every other camera must get the same, else all try another.
    bool bound = false;
    for (int attempt = 0; attempt < (options_.port == 0 ? kBindAttempts : 1) && !bound; ++attempt) {
        bound = cameras_[0]->Bind(options_.port, error_);
        const uint16_t port = cameras_[0]->Port();
        for (size_t i = 1; i < cameras_.size() && bound; ++i) {
            bound = cameras_[i]->Bind(port, error_);
        }
        if (!bound) {
            for (auto& camera : cameras_) {
                camera->Unbind();
            }
        }
    }
    if (!bound) {
        cameras_.clear();
        close(wake_[0]);
        close(wake_[1]);
        wake_[0] = wake_[1] = -1;
        return 0;
    }
    error_.clear();
    port_ = cameras_[0]->Port();
    for (auto& camera : cameras_) {
        camera->Start();
    }
    started_ = true;
    return port_;
}

void NetServer::Stop() {
    if (!started_) {
        return;
    }
    stop_ = true;
    const char byte = 1;
    (void)!write(wake_[1], &byte, 1); // stays readable: wakes every poll at once
    for (auto& camera : cameras_) {
        camera->Join();
        camera->Unbind();
    }
    close(wake_[0]);
    close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    started_ = false;
}

uint32_t NetServer::Address(unsigned camera) const {
    return cameras_.at(camera)->Address();
}

std::string NetServer::Serial(unsigned camera) const {
    return cameras_.at(camera)->Serial();
}

RegisterSpace& NetServer::Registers(unsigned camera) {
    return cameras_.at(camera)->Registers();
}

NetCounters NetServer::Counters(unsigned camera) const {
    return cameras_.at(camera)->Counters();
}

void NetServer::SetFaults(const FaultOptions& faults) {
    for (auto& camera : cameras_) {
        camera->SetFaults(faults);
    }
}

void NetServer::SetFaults(unsigned camera, const FaultOptions& faults) {
    cameras_.at(camera)->SetFaults(faults);
}

bool NetServer::Serving(unsigned camera) const {
    return cameras_.at(camera)->Serving();
}

bool NetServer::WaitUntilFinished(std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bool any = false;
        for (const auto& camera : cameras_) {
            any = any || camera->Serving();
        }
        if (!any) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace Emulator
