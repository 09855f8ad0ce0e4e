// ViewServer: the HTTP side of `kacq view`. One open camera object drives
// both the live image (its data stream) and the settings form (its feature
// tree); a grab thread takes frames, request handlers read and write
// features, and one lock keeps them apart.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FrameCodec.h"
#include "device/GxCam.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace NodeApi {
class INode;
}

namespace KacqView {

// Limits on what a request may carry.
constexpr size_t kMaxBodyBytes = 4096;
constexpr size_t kMaxTargetBytes = 2048;
constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMaxValueBytes = 256;
// Longest wait of a frame request for a frame newer than the one it has.
constexpr std::chrono::milliseconds kFrameWait{2000};
// Header every POST must carry (the page sets it).
constexpr const char* kPageHeader = "X-Kacq-View";
constexpr const char* kPageHeaderValue = "1";

struct ViewCounters {
    uint64_t frames = 0;     // frames received complete
    uint64_t incomplete = 0; // buffers that came back incomplete
    uint64_t timeouts = 0;   // waits that saw no frame
    uint64_t resent = 0;     // packets that arrived after a resend request
    double fps = 0;          // complete frames over the last two seconds
};

class ViewServer {
public:
    // camera: an open camera object, whose feature tree and data stream the
    // view drives; it must outlive the server. Grabbing starts at once when
    // startGrabbing is set.
    ViewServer(XCamera::CGxCamera& camera, std::string cameraName, bool startGrabbing);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    // Binds host:port (port 0: an ephemeral one). Answers the port, or 0 with
    // error set.
    int Bind(const std::string& host, int port, std::string* error);
    // Serves requests until Stop; returns at once when not bound.
    void Serve();
    // Stops serving and grabbing; the stream is finished, the camera stays
    // open for its owner to close. Safe from any thread, more than once.
    void Stop();

    ViewCounters Counters();

private:
    void GrabLoop();
    void GrabOne();
    void PrepareStream();
    void FinishStream();
    void DrainStream();
    void Publish(std::shared_ptr<Frame> frame);

    void Route();
    void HandleStatus(const httplib::Request& req, httplib::Response& res);
    void HandleFeatures(const httplib::Request& req, httplib::Response& res);
    void HandleSetFeature(const httplib::Request& req, httplib::Response& res);
    void HandleAcquisition(const httplib::Request& req, httplib::Response& res);
    void HandleFrameJpeg(const httplib::Request& req, httplib::Response& res);
    void HandleFramePng(const httplib::Request& req, httplib::Response& res);

    std::string FeaturesJson();
    std::string StatusJson();
    bool FindFeature(const std::string& name, NodeApi::INode** node);

    XCamera::CGxCamera& m_Camera;
    const std::string m_CameraName;
    std::unique_ptr<httplib::Server> m_pServer;
    std::vector<std::string> m_FeatureNames; // every feature the form shows and sets
    bool m_Bound = false;
    bool m_LoopbackOnly = true; // bound to a loopback address: Host checked

    // Held for every camera operation: a frame cycle, a feature read or write.
    // Requests count themselves in m_CameraWaiters while they wait for it, and
    // the grab thread lets them go first (a mutex promises no fairness).
    std::mutex m_CameraMutex;
    std::atomic<int> m_CameraWaiters{0};
    class CameraLock;
    // Under m_CameraMutex: the stream must be prepared again before the next
    // frame (closed for a feature access, or a setting changed its size).
    bool m_StreamDirty = true;
    Frame m_Geometry;                 // width, height, sample size of the prepared stream
    uint32_t m_BufferBytes = 0;       // size of the buffers queued
    std::shared_ptr<Frame> m_Pending; // the buffer the stream holds, if any

    // Frames and counters, under m_FrameMutex.
    std::mutex m_FrameMutex;
    std::condition_variable m_FrameArrived;
    std::shared_ptr<const Frame> m_Latest;
    std::shared_ptr<const std::string> m_LatestJpeg; // of m_Latest, encoded on demand
    uint64_t m_LatestJpegNumber = 0;
    ViewCounters m_Counters;
    uint64_t m_ResentBefore = 0; // resent packets of the streams closed before
    std::deque<std::chrono::steady_clock::time_point> m_Arrivals;
    std::string m_LastError;

    // Grabbing state, under m_StateMutex.
    std::mutex m_StateMutex;
    std::condition_variable m_StateChanged;
    bool m_Running = false;
    bool m_OneShot = false;
    bool m_Quit = false;

    std::mutex m_StopMutex;
    std::atomic<bool> m_Stopped{false};
    std::atomic<bool> m_Serving{false};
    std::thread m_GrabThread;
};

} // namespace KacqView
