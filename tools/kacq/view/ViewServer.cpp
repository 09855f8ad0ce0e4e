// kacq view's HTTP server, grab thread and feature form.
#include "ViewServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <inttypes.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "../Common.h"
#include "ViewPage.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"
#include "nodeapi/Types.h"
#include "platform/gtrans/GTransStats.h"

namespace KacqView {

namespace {

// Time-out of one frame wait; the emulated cameras answer in milliseconds.
constexpr uint32_t kRetrieveTimeoutMs = 1000;
constexpr int kMaxDrainRounds = 8;
constexpr int kJpegQuality = 85;
// Categories deeper than this are not followed (the tree has two levels).
constexpr int kMaxDepth = 16;
// Worker threads: each browser keeps a few connections open.
constexpr size_t kWorkerThreads = 16;

// JSON string: quotes, backslashes and control characters escaped; bytes
// above 0x7F as \u00XX so that any name a client sent comes back as valid
// JSON.
std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string Number(int64_t v) {
    char text[32];
    snprintf(text, sizeof text, "%" PRId64, v);
    return text;
}

std::string Number(double v) {
    if (!std::isfinite(v))
        return "null";
    char text[40];
    snprintf(text, sizeof text, "%.17g", v);
    return text;
}

void Reply(httplib::Response& res, int status, const std::string& json) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(json, "application/json");
}

void Fail(httplib::Response& res, int status, const std::string& message) {
    Reply(res, status, "{\"error\":" + Quote(message) + "}");
}

// The form's sections: each category with its non-category members, in the
// tree's order.
struct Section {
    std::string name;
    std::vector<std::string> features;
};

void CollectSections(const std::string& category, int depth, std::vector<Section>* sections) {
    Section section{category, {}};
    std::vector<std::string> nested;
    for (const std::string& member : KacqTool::CategoryMembers(category)) {
        if (KacqTool::CategoryMembers(member).empty())
            section.features.push_back(member);
        else
            nested.push_back(member);
    }
    if (!section.features.empty())
        sections->push_back(section);
    if (depth < kMaxDepth)
        for (const std::string& n : nested)
            CollectSections(n, depth + 1, sections);
}

const std::vector<Section>& Sections() {
    static const std::vector<Section> sections = [] {
        std::vector<Section> s;
        CollectSections("Root", 0, &s);
        return s;
    }();
    return sections;
}

// Strict decimal integer: optional sign, digits only, in range.
bool ParseInt(const std::string& text, int64_t* value) {
    if (text.empty() || text.size() > 24)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || isspace(uint8_t(text[0])))
        return false;
    *value = v;
    return true;
}

bool ParseFloat(const std::string& text, double* value) {
    if (text.empty() || text.size() > 64 || isspace(uint8_t(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool ParseBool(const std::string& text, bool* value) {
    if (text == "true" || text == "1") {
        *value = true;
        return true;
    }
    if (text == "false" || text == "0") {
        *value = false;
        return true;
    }
    return false;
}

std::string StringValue(NodeApi::IString* s) {
    const std::string text = s->GetValue();
    return text.substr(0, text.find('\0'));
}

// One feature as the form shows it.
std::string FeatureJson(NodeApi::INode* node) {
    std::string json = "{\"name\":" + Quote(node->GetName());
    json += ",\"display\":" + Quote(node->GetDisplayName());
    json += ",\"tip\":" + Quote(node->GetToolTip());
    try {
        const NodeApi::EAccessMode mode = node->GetAccessMode();
        json += ",\"access\":" + Quote(NodeApi::AccessModeText(mode));
        const bool readable = mode == NodeApi::RW || mode == NodeApi::RO;
        if (auto* e = dynamic_cast<NodeApi::IEnumerationBase*>(node)) {
            json += ",\"type\":\"enum\"";
            if (readable) {
                NodeApi::StringList_t symbolics;
                e->GetSymbolics(symbolics);
                json += ",\"entries\":[";
                for (size_t i = 0; i < symbolics.size(); ++i)
                    json += (i ? "," : "") + Quote(symbolics[i]);
                json += "],\"value\":" + Quote(node->ToString());
            }
        } else if (auto* b = dynamic_cast<NodeApi::IBoolean*>(node)) {
            json += ",\"type\":\"bool\"";
            if (readable)
                json += std::string(",\"value\":") + (b->GetValue() ? "true" : "false");
        } else if (auto* i = dynamic_cast<NodeApi::IInteger*>(node)) {
            json += ",\"type\":\"int\"";
            if (readable)
                json += ",\"value\":" + Number(i->GetValue()) + ",\"min\":" + Number(i->GetMin()) +
                        ",\"max\":" + Number(i->GetMax()) + ",\"inc\":" + Number(i->GetInc());
        } else if (auto* f = dynamic_cast<NodeApi::IFloat*>(node)) {
            json += ",\"type\":\"float\"";
            if (readable)
                json += ",\"value\":" + Number(f->GetValue()) + ",\"min\":" + Number(f->GetMin()) +
                        ",\"max\":" + Number(f->GetMax());
        } else if (auto* s = dynamic_cast<NodeApi::IString*>(node)) {
            json += ",\"type\":\"string\"";
            if (readable)
                json += ",\"value\":" + Quote(StringValue(s));
        } else {
            json += ",\"type\":\"other\"";
            if (readable)
                json += ",\"value\":" + Quote(node->ToString());
        }
    } catch (const std::exception& error) {
        json += ",\"error\":" + Quote(error.what());
    }
    return json + "}";
}

// True for a Host header (or listen address) naming this machine's loopback:
// 127.x.x.x, localhost or [::1], with or without a port.
bool LoopbackHost(const std::string& hostHeader) {
    std::string host = hostHeader;
    if (!host.empty() && host[0] == '[')
        return host.compare(0, 5, "[::1]") == 0;
    host = host.substr(0, host.find(':'));
    if (host == "localhost")
        return true;
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

} // namespace

// m_CameraMutex taken for a request, ahead of the grab thread's next cycle.
class ViewServer::CameraLock {
public:
    explicit CameraLock(ViewServer& server) : m_Server(server) {
        ++m_Server.m_CameraWaiters;
        m_Lock = std::unique_lock<std::mutex>(m_Server.m_CameraMutex);
        --m_Server.m_CameraWaiters;
    }

private:
    ViewServer& m_Server;
    std::unique_lock<std::mutex> m_Lock;
};

ViewServer::ViewServer(XCamera::CGxCamera& camera, std::string cameraName, bool startGrabbing)
    : m_Camera(camera), m_CameraName(std::move(cameraName)),
      m_pServer(std::make_unique<httplib::Server>()), m_Running(startGrabbing) {
    for (const Section& s : Sections())
        m_FeatureNames.insert(m_FeatureNames.end(), s.features.begin(), s.features.end());
    Route();
    m_GrabThread = std::thread([this] { GrabLoop(); });
}

ViewServer::~ViewServer() {
    Stop();
}

int ViewServer::Bind(const std::string& host, int port, std::string* error) {
    const int bound = port == 0 ? m_pServer->bind_to_any_port(host)
                                : (m_pServer->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        *error = "cannot listen on " + host + ":" + std::to_string(port);
        return 0;
    }
    m_Bound = true;
    m_LoopbackOnly = LoopbackHost(host);
    return bound;
}

void ViewServer::Serve() {
    {
        std::lock_guard<std::mutex> lock(m_StopMutex);
        if (m_Stopped || !m_Bound)
            return;
        m_Serving = true;
    }
    m_pServer->listen_after_bind();
    m_Serving = false;
}

void ViewServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_StopMutex);
        if (m_Stopped)
            return;
        m_Stopped = true;
    }
    // Frame requests waiting for a frame answer at once.
    { std::lock_guard<std::mutex> lock(m_FrameMutex); }
    m_FrameArrived.notify_all();
    // The server may be just entering its accept loop: ask until it left
    // (bounded; each round is immediate once it runs).
    for (int i = 0; i < 500 && m_Serving; ++i) {
        m_pServer->stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        std::lock_guard<std::mutex> lock(m_StateMutex);
        m_Quit = true;
    }
    m_StateChanged.notify_all();
    m_FrameArrived.notify_all();
    if (m_GrabThread.joinable())
        m_GrabThread.join();
    std::lock_guard<std::mutex> camera(m_CameraMutex);
    FinishStream();
}

ViewCounters ViewServer::Counters() {
    std::lock_guard<std::mutex> lock(m_FrameMutex);
    ViewCounters c = m_Counters;
    const auto now = std::chrono::steady_clock::now();
    while (!m_Arrivals.empty() && now - m_Arrivals.front() > std::chrono::seconds(2))
        m_Arrivals.pop_front();
    c.fps = double(m_Arrivals.size()) / 2.0;
    return c;
}

// ---- grabbing -------------------------------------------------------------

void ViewServer::GrabLoop() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_StateMutex);
            m_StateChanged.wait_for(lock, std::chrono::milliseconds(200),
                                    [this] { return m_Quit || m_Running || m_OneShot; });
            if (m_Quit)
                return;
            if (!m_Running && !m_OneShot)
                continue;
        }
        bool failed = false;
        {
            std::lock_guard<std::mutex> camera(m_CameraMutex);
            try {
                GrabOne();
            } catch (const std::exception& error) {
                std::lock_guard<std::mutex> lock(m_FrameMutex);
                m_LastError = error.what();
                failed = true;
            }
        }
        // Requests waiting for the camera go first (bounded: 200 ms).
        for (int i = 0; i < 200 && m_CameraWaiters > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (failed) {
            // A failing camera is not asked again at full speed.
            std::unique_lock<std::mutex> lock(m_StateMutex);
            m_StateChanged.wait_for(lock, std::chrono::milliseconds(500),
                                    [this] { return m_Quit; });
        }
    }
}

// One frame cycle, under m_CameraMutex: queue a buffer, take a shot, wait.
void ViewServer::GrabOne() {
    if (m_StreamDirty || !m_Camera.IsPrepared())
        PrepareStream();
    if (m_Pending)
        DrainStream();
    if (m_Pending) // the stream still holds the last buffer
        NODEAPI_RAISE(RuntimeException, "the stream does not give back its buffer");
    auto frame = std::make_shared<Frame>(m_Geometry);
    frame->data.resize(m_BufferBytes);
    m_Pending = frame;
    m_Camera.QueueBuffer(m_BufferBytes, frame->data.data(), 1);
    m_Camera.OneShot->SetValue(true);
    void* buffer = nullptr;
    uint32_t context = 0;
    const XCamera::ERetrieveResult result =
        m_Camera.RetrieveBuffer(&buffer, &context, kRetrieveTimeoutMs);
    if (result == XCamera::RetrieveFilled && buffer == frame->data.data()) {
        m_Pending.reset();
        frame->data.resize(size_t(frame->width) * frame->height * frame->bytesPerSample);
        {
            std::lock_guard<std::mutex> lock(m_StateMutex);
            m_OneShot = false;
        }
        Publish(frame);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        if (result == XCamera::RetrieveIncomplete)
            ++m_Counters.incomplete;
        else if (result == XCamera::RetrieveTimedOut)
            ++m_Counters.timeouts;
    }
    if (result == XCamera::RetrieveIncomplete && buffer == frame->data.data())
        m_Pending.reset();
    else
        DrainStream();
}

void ViewServer::Publish(std::shared_ptr<Frame> frame) {
    GxGrabberStatistics stats{};
    const bool haveStats =
        GxStreamGrabberGetStatistics(m_Camera.GetDelegate().GetGrabberHandle(), &stats) == GX_OK;
    {
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        frame->number = ++m_Counters.frames;
        if (haveStats)
            m_Counters.resent = m_ResentBefore + stats.packetsResent;
        m_Arrivals.push_back(std::chrono::steady_clock::now());
        if (m_Arrivals.size() > 4096)
            m_Arrivals.pop_front();
        m_Latest = std::move(frame);
        m_LastError.clear();
    }
    m_FrameArrived.notify_all();
}

// Opens the stream sized for the camera's current image part, under
// m_CameraMutex.
void ViewServer::PrepareStream() {
    FinishStream();
    Frame geometry;
    geometry.width = uint32_t(m_Camera.Width->GetValue());
    geometry.height = uint32_t(m_Camera.Height->GetValue());
    const int64_t depth = m_Camera.DataDepth->GetValue();
    const std::string coding = m_Camera.ColorCoding->ToString();
    geometry.bytesPerSample = coding.find("16") != std::string::npos ? 2 : 1;
    geometry.bits = depth > 0 && depth <= 16 ? uint32_t(depth) : 8 * geometry.bytesPerSample;
    const uint64_t image = uint64_t(geometry.width) * geometry.height * geometry.bytesPerSample;
    const int64_t total = m_Camera.TotalBytes->GetValue();
    const uint64_t bytes = total > 0 && uint64_t(total) > image ? uint64_t(total) : image;
    if (image == 0 || bytes > (uint64_t(1) << 28))
        NODEAPI_RAISE(RuntimeException, "the camera reports an image of %" PRIu64 " bytes", bytes);
    m_Camera.PrepareGrab();
    m_Geometry = geometry;
    m_BufferBytes = uint32_t(bytes);
    m_StreamDirty = false;
}

// Closes the stream (taking back every buffer), under m_CameraMutex. The
// grabber's resend count is kept across the streams.
void ViewServer::FinishStream() {
    m_StreamDirty = true;
    if (!m_Camera.IsPrepared())
        return;
    GxGrabberStatistics stats{};
    if (GxStreamGrabberGetStatistics(m_Camera.GetDelegate().GetGrabberHandle(), &stats) == GX_OK) {
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        m_ResentBefore += stats.packetsResent;
        m_Counters.resent = m_ResentBefore;
    }
    try {
        m_Camera.FinishGrab();
    } catch (const std::exception& error) {
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        m_LastError = error.what();
    }
    // A finished stream holds no buffer.
    if (!m_Camera.IsPrepared())
        m_Pending.reset();
}

// Takes the queued buffer back: flush, then collect until the stream says it
// is empty.
void ViewServer::DrainStream() {
    for (int round = 0; round < kMaxDrainRounds; ++round) {
        m_Camera.CancelGrab();
        const XCamera::ERetrieveResult result = m_Camera.RetrieveBuffer(nullptr, nullptr, 0);
        if (result != XCamera::RetrieveFilled && result != XCamera::RetrieveTimedOut) {
            m_Pending.reset();
            return;
        }
    }
}

// ---- requests -------------------------------------------------------------

void ViewServer::Route() {
    httplib::Server& s = *m_pServer;
    s.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    s.set_payload_max_length(kMaxBodyBytes);
    s.set_keep_alive_timeout(2);
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.target.size() > kMaxTargetBytes) {
            Fail(res, 414,
                 "request target longer than " + std::to_string(kMaxTargetBytes) + " bytes");
            return httplib::Server::HandlerResponse::Handled;
        }
        // On loopback, only pages addressed by a loopback name may talk to
        // the view: a foreign site's name rebound to 127.0.0.1 is refused.
        if (m_LoopbackOnly && !LoopbackHost(req.get_header_value("Host"))) {
            Fail(res, 421, "the view answers only to a loopback address");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Changes come from the view's own page: a form posted by another
        // site cannot carry this header without the browser asking first,
        // and the view never answers that question.
        if (req.method == "POST" && req.get_header_value(kPageHeader) != kPageHeaderValue) {
            Fail(res, 403, "changes are taken from the view's page only");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(res.status == 404 ? "not found\n" : "request refused\n", "text/plain");
        }
    });
    // The page's own resources, and nothing else, by exact path.
    for (const PageResource& r : PageResources()) {
        s.Get(r.path, [r](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-cache");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_content(r.body, r.type);
        });
    }
    s.Get("/api/status",
          [this](const httplib::Request& q, httplib::Response& r) { HandleStatus(q, r); });
    s.Get("/api/features",
          [this](const httplib::Request& q, httplib::Response& r) { HandleFeatures(q, r); });
    s.Post("/api/feature",
           [this](const httplib::Request& q, httplib::Response& r) { HandleSetFeature(q, r); });
    s.Post("/api/acquisition",
           [this](const httplib::Request& q, httplib::Response& r) { HandleAcquisition(q, r); });
    s.Get("/api/frame.jpg",
          [this](const httplib::Request& q, httplib::Response& r) { HandleFrameJpeg(q, r); });
    s.Get("/api/frame.png",
          [this](const httplib::Request& q, httplib::Response& r) { HandleFramePng(q, r); });
}

std::string ViewServer::StatusJson() {
    const ViewCounters c = Counters();
    bool running = false;
    {
        std::lock_guard<std::mutex> lock(m_StateMutex);
        running = m_Running;
    }
    std::lock_guard<std::mutex> lock(m_FrameMutex);
    std::string json = "{\"camera\":" + Quote(m_CameraName);
    json += std::string(",\"running\":") + (running ? "true" : "false");
    json += ",\"frames\":" + Number(int64_t(c.frames));
    json += ",\"fps\":" + Number(c.fps);
    json += ",\"incomplete\":" + Number(int64_t(c.incomplete));
    json += ",\"resent\":" + Number(int64_t(c.resent));
    json += ",\"timeouts\":" + Number(int64_t(c.timeouts));
    if (m_Latest) {
        json += ",\"width\":" + Number(int64_t(m_Latest->width));
        json += ",\"height\":" + Number(int64_t(m_Latest->height));
        json += ",\"bits\":" + Number(int64_t(m_Latest->bits));
    }
    json += ",\"error\":" + Quote(m_LastError);
    return json + "}";
}

void ViewServer::HandleStatus(const httplib::Request&, httplib::Response& res) {
    Reply(res, 200, StatusJson());
}

// The tree is read with the stream closed, so the form shows the settings
// as they stand between frames (the image part is editable then); the next
// frame opens the stream again.
std::string ViewServer::FeaturesJson() {
    CameraLock camera(*this);
    FinishStream();
    std::string json = "{\"camera\":" + Quote(m_CameraName) + ",\"sections\":[";
    bool firstSection = true;
    for (const Section& section : Sections()) {
        NodeApi::INode* category = m_Camera.GetNodeMap().GetNode(section.name);
        json += firstSection ? "" : ",";
        firstSection = false;
        json += "{\"name\":" + Quote(section.name);
        json += ",\"display\":" + Quote(category ? category->GetDisplayName() : section.name);
        json += ",\"features\":[";
        bool first = true;
        for (const std::string& name : section.features) {
            NodeApi::INode* node = m_Camera.GetNodeMap().GetNode(name);
            if (node == nullptr)
                continue;
            json += (first ? "" : ",") + FeatureJson(node);
            first = false;
        }
        json += "]}";
    }
    return json + "]}";
}

void ViewServer::HandleFeatures(const httplib::Request&, httplib::Response& res) {
    Reply(res, 200, FeaturesJson());
}

bool ViewServer::FindFeature(const std::string& name, NodeApi::INode** node) {
    *node = nullptr;
    if (name.size() > kMaxNameBytes)
        return false;
    bool listed = false;
    for (const std::string& n : m_FeatureNames)
        listed = listed || n == name;
    if (listed)
        *node = m_Camera.GetNodeMap().GetNode(name);
    return *node != nullptr;
}

void ViewServer::HandleSetFeature(const httplib::Request& req, httplib::Response& res) {
    if (!req.has_param("name") || !req.has_param("value") ||
        req.get_param_value_count("name") != 1 || req.get_param_value_count("value") != 1)
        return Fail(res, 400, "a setting needs one 'name' and one 'value'");
    const std::string name = req.get_param_value("name");
    const std::string text = req.get_param_value("value");
    if (text.size() > kMaxValueBytes)
        return Fail(res, 400,
                    "the value is longer than " + std::to_string(kMaxValueBytes) + " bytes");
    CameraLock camera(*this);
    NodeApi::INode* node = nullptr;
    if (!FindFeature(name, &node))
        return Fail(res, 404, "the camera has no feature named '" + name + "'");
    // Settings change between frames, with the stream closed.
    FinishStream();
    try {
        const NodeApi::EAccessMode mode = node->GetAccessMode();
        if (mode != NodeApi::RW && mode != NodeApi::WO) {
            const char* why = mode == NodeApi::RO   ? "read-only"
                              : mode == NodeApi::NE ? "not available now"
                                                    : "not present on this camera";
            return Fail(res, 409, name + " is " + why + " (" + NodeApi::AccessModeText(mode) + ")");
        }
        if (auto* e = dynamic_cast<NodeApi::IEnumerationBase*>(node)) {
            NodeApi::StringList_t symbolics;
            e->GetSymbolics(symbolics);
            std::string list;
            bool known = false;
            for (const std::string& s : symbolics) {
                list += (list.empty() ? "" : ", ") + s;
                known = known || s == text;
            }
            if (!known)
                return Fail(res, 400,
                            "'" + text + "' is not an available entry of " + name + " (" + list +
                                ")");
            node->FromString(text);
        } else if (auto* b = dynamic_cast<NodeApi::IBoolean*>(node)) {
            bool v = false;
            if (!ParseBool(text, &v))
                return Fail(res, 400, name + " takes true or false, not '" + text + "'");
            b->SetValue(v);
        } else if (auto* i = dynamic_cast<NodeApi::IInteger*>(node)) {
            int64_t v = 0;
            if (!ParseInt(text, &v))
                return Fail(res, 400, name + " takes an integer, not '" + text + "'");
            const int64_t min = i->GetMin(), max = i->GetMax(), inc = i->GetInc();
            if (v < min || v > max)
                return Fail(res, 400,
                            std::to_string(v) + " is outside " + name + "'s range " +
                                std::to_string(min) + ".." + std::to_string(max));
            if (inc > 1 && (v - min) % inc != 0)
                return Fail(res, 400,
                            std::to_string(v) + " is not a step of " + name + " (" +
                                std::to_string(min) + " + n * " + std::to_string(inc) + ")");
            i->SetValue(v);
        } else if (auto* f = dynamic_cast<NodeApi::IFloat*>(node)) {
            double v = 0;
            if (!ParseFloat(text, &v))
                return Fail(res, 400, name + " takes a number, not '" + text + "'");
            if (v < f->GetMin() || v > f->GetMax())
                return Fail(res, 400,
                            text + " is outside " + name + "'s range " + Number(f->GetMin()) +
                                ".." + Number(f->GetMax()));
            f->SetValue(v);
        } else {
            return Fail(res, 409, name + " cannot be set from the view");
        }
        Reply(res, 200, "{\"name\":" + Quote(name) + ",\"value\":" + Quote(node->ToString()) + "}");
    } catch (const std::exception& error) {
        Fail(res, 400, std::string("the camera refused: ") + error.what());
    }
}

void ViewServer::HandleAcquisition(const httplib::Request& req, httplib::Response& res) {
    const std::string action =
        req.get_param_value_count("action") == 1 ? req.get_param_value("action") : "";
    {
        std::lock_guard<std::mutex> lock(m_StateMutex);
        if (action == "start")
            m_Running = true;
        else if (action == "stop")
            m_Running = false;
        else if (action == "oneshot")
            m_OneShot = true;
        else
            return Fail(res, 400, "the action is one of start, stop, oneshot");
    }
    m_StateChanged.notify_all();
    Reply(res, 200, StatusJson());
}

void ViewServer::HandleFrameJpeg(const httplib::Request& req, httplib::Response& res) {
    int64_t after = 0;
    if (req.has_param("after") && (req.get_param_value_count("after") != 1 ||
                                   !ParseInt(req.get_param_value("after"), &after) || after < 0))
        return Fail(res, 400, "'after' is a frame number");
    std::shared_ptr<const Frame> frame;
    std::shared_ptr<const std::string> jpeg;
    {
        std::unique_lock<std::mutex> lock(m_FrameMutex);
        m_FrameArrived.wait_for(lock, kFrameWait, [&] {
            return (m_Latest && m_Latest->number > uint64_t(after)) || m_Stopped;
        });
        if (!m_Latest || m_Latest->number <= uint64_t(after)) {
            res.status = 204;
            res.set_header("Cache-Control", "no-store");
            return;
        }
        frame = m_Latest;
        if (m_LatestJpegNumber == frame->number)
            jpeg = m_LatestJpeg;
    }
    if (!jpeg) {
        // Encoded once per frame, outside the lock, for every browser.
        jpeg = std::make_shared<const std::string>(EncodeJpeg(*frame, kJpegQuality));
        if (jpeg->empty())
            return Fail(res, 500, "the frame could not be encoded");
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        if (m_LatestJpegNumber < frame->number) {
            m_LatestJpeg = jpeg;
            m_LatestJpegNumber = frame->number;
        }
    }
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Frame-Number", std::to_string(frame->number));
    res.set_header("X-Frame-Width", std::to_string(frame->width));
    res.set_header("X-Frame-Height", std::to_string(frame->height));
    res.set_content(*jpeg, "image/jpeg");
}

void ViewServer::HandleFramePng(const httplib::Request&, httplib::Response& res) {
    std::shared_ptr<const Frame> frame;
    {
        std::lock_guard<std::mutex> lock(m_FrameMutex);
        frame = m_Latest;
    }
    if (!frame)
        return Fail(res, 404, "no frame has arrived yet");
    const std::string png = EncodePng(*frame);
    if (png.empty())
        return Fail(res, 500, "the frame could not be encoded");
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Disposition",
                   "attachment; filename=\"kacq-frame-" + std::to_string(frame->number) + ".png\"");
    res.set_content(png, "image/png");
}

} // namespace KacqView
