// kacq view's HTTP API against an emulated camera on loopback: the camera at 127.0.62.2 on an
// ephemeral port, the view on an ephemeral loopback port.
#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "emulator/net/NetServer.h"
#include "view/ViewCamera.h"
#include "view/ViewServer.h"

namespace {

using namespace std::chrono_literals;

const char* const kForm = "application/x-www-form-urlencoded";

class ViewServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Emulator::NetOptions options;
        options.firstAddress = 0x7F003E02;
        options.port = 0;
        emulator = std::make_unique<Emulator::NetServer>(options);
        const uint16_t port = emulator->Start();
        ASSERT_NE(port, 0) << emulator->Error();
        cameraPort = std::to_string(port);
        setenv("GTRANS_DISCOVERY", "127.0.62.2", 1);
        camera = std::make_unique<KacqView::ViewCamera>("127.0.62.2", cameraPort);
        view = std::make_unique<KacqView::ViewServer>(camera->Camera(), camera->Name(), true);
        std::string error;
        viewPort = view->Bind("127.0.0.1", 0, &error);
        ASSERT_NE(viewPort, 0) << error;
        serving = std::thread([this] { view->Serve(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", viewPort);
        client->set_read_timeout(5, 0);
        client->set_url_encode(false); // paths go out as written, never normalised
    }
    void TearDown() override { StopView(), emulator.reset(); }
    void StopView() {
        if (view)
            view->Stop();
        if (serving.joinable())
            serving.join();
        client.reset();
        view.reset();
        camera.reset();
    }

    // A post from the view's own page (its header).
    httplib::Result Post(const std::string& path, const std::string& body) {
        return client->Post(path.c_str(), {{"X-Kacq-View", "1"}}, body, kForm);
    }
    // Whether a feature's entry of the form, e.g. {"name":"Width",...}, holds text.
    bool Shows(const std::string& name, const std::string& text) {
        auto r = client->Get("/api/features");
        const size_t at = r ? r->body.find("{\"name\":\"" + name + "\"") : std::string::npos;
        return at != std::string::npos &&
               r->body.substr(at, r->body.find('}', at) - at).find(text) != std::string::npos;
    }
    httplib::Result NextFrame(uint64_t after) {
        const std::string path = "/api/frame.jpg?after=" + std::to_string(after);
        httplib::Result r = client->Get(path.c_str());
        for (int i = 0; i < 5 && !(r && r->status == 200); ++i)
            r = client->Get(path.c_str());
        return r;
    }
    uint64_t Frames() {
        auto r = client->Get("/api/status");
        const size_t at = r ? r->body.find("\"frames\":") : std::string::npos;
        return at == std::string::npos ? 0 : std::stoull(r->body.substr(at + 9));
    }

    std::unique_ptr<Emulator::NetServer> emulator;
    std::string cameraPort;
    std::unique_ptr<KacqView::ViewCamera> camera;
    std::unique_ptr<KacqView::ViewServer> view;
    std::thread serving;
    std::unique_ptr<httplib::Client> client;
    int viewPort = 0;
};

std::string Reply(const httplib::Result& r) {
    return r ? std::to_string(r->status) + " " + r->body : "none";
}

// A reply's status and the named headers, blank-separated.
std::string Heads(const httplib::Result& r, std::initializer_list<const char*> names) {
    std::string text = r ? std::to_string(r->status) : "none";
    for (const char* name : names)
        text += std::string(" ") + (r ? r->get_header_value(name) : "");
    return text;
}

TEST_F(ViewServerTest, ServesThePageResourcesAndNoOtherPath) {
    for (auto [path, type, contains] :
         {std::make_tuple("/", "text/html; charset=utf-8", "<title>kacq view</title>"),
          std::make_tuple("/app.js", "text/javascript; charset=utf-8", "/api/frame.jpg?after="),
          std::make_tuple("/style.css", "text/css; charset=utf-8", "#frame")}) {
        auto r = client->Get(path);
        EXPECT_EQ(Heads(r, {"Content-Type"}), std::string("200 ") + type);
        EXPECT_NE(r ? r->body.find(contains) : 0, std::string::npos) << path;
    }
    for (const char* path :
         {"/index.html", "/../etc/passwd", "/%2e%2e/etc/passwd", "/%2e%2e%2f%2e%2e%2fetc%2fpasswd",
          "/app.js/../../etc/passwd", "/api/../app.js", "//etc/passwd", "/./app.js", "/APP.JS",
          "/api/feature"})
        EXPECT_EQ(Heads(client->Get(path), {}), "404") << path;
    // Changes only from the page (its header), and only for loopback names;
    // requests outside the protocol, or for the API by the wrong method.
    EXPECT_EQ(Heads(client->Post("/api/acquisition", "action=stop", kForm), {}), "403");
    EXPECT_EQ(Heads(client->Get("/", {{"Host", "rebound.example:8080"}}), {}), "421");
    EXPECT_EQ(Heads(client->Get("/", {{"Host", "localhost:9000"}}), {}), "200");
    EXPECT_EQ(Heads(client->Get("../etc/passwd"), {}).substr(0, 1), "4");
    EXPECT_EQ(Heads(Post("/", ""), {}), "404");
}

TEST_F(ViewServerTest, FramesArriveAsJpegOfTheImagePartAndAsPng) {
    auto first = NextFrame(0);
    ASSERT_EQ(Heads(first, {"Content-Type", "X-Frame-Width", "X-Frame-Height"}),
              "200 image/jpeg 640 480");
    EXPECT_EQ(first->body.substr(0, 2), "\xFF\xD8");
    const uint64_t number = std::stoull(first->get_header_value("X-Frame-Number"));
    EXPECT_GE(number, 1u);

    // Two browsers at once both get the next frame.
    httplib::Client other("127.0.0.1", viewPort);
    other.set_read_timeout(5, 0);
    std::string second; // its status and frame number
    std::thread t([&] {
        const std::string after = "/api/frame.jpg?after=" + std::to_string(number);
        second = Heads(other.Get(after.c_str()), {"X-Frame-Number"});
    });
    const std::string mine = Heads(NextFrame(number), {});
    t.join();
    ASSERT_EQ(mine + " " + second.substr(0, 4), "200 200 ");
    EXPECT_GT(std::stoull(second.substr(4)), number);

    auto png = client->Get("/api/frame.png");
    ASSERT_EQ(Heads(png, {"Content-Type"}), "200 image/png");
    ASSERT_GE(png->body.size(), 26u);
    // Signature, then IHDR: width 640, height 480, 8-bit gray.
    EXPECT_EQ(png->body.substr(0, 8) + png->body.substr(16, 10),
              std::string("\x89PNG\r\n\x1a\n\0\0\x02\x80\0\0\x01\xe0\x08\x00", 18));
    EXPECT_NE(png->get_header_value("Content-Disposition").find("attachment"), std::string::npos);

    for (const char* query : {"?after=x", "?after=-1", "?after=1e3",
                              "?after=99999999999999999999999", "?after=1&after=2"})
        EXPECT_EQ(Reply(client->Get((std::string("/api/frame.jpg") + query).c_str())),
                  "400 {\"error\":\"'after' is a frame number\"}")
            << query;
    EXPECT_EQ(Heads(client->Get("/api/frame.jpg?after=1000000000"), {}), "204");
}

TEST_F(ViewServerTest, SettingsAreValidatedAndRefusalsChangeNothing) {
    const std::string longName(200, 'W'), noName = "the camera has no feature named '";
    const char* kOneEach = "a setting needs one 'name' and one 'value'";
    const std::tuple<const char*, std::string, int, std::string> cases[] = {
        {"unknown name", "name=NoSuch&value=1", 404, noName + "NoSuch'"},
        {"not in the form", "name=AoiSizeCxRegFao&value=8", 404, noName + "AoiSizeCxRegFao'"},
        {"hostile name", "name=%22%3Cb%3E%0A%ff&value=1", 404, noName + R"(\"<b>\u000a\u00ff')"},
        {"long name", "name=" + longName + "&value=1", 404, noName + longName + "'"},
        {"no value", "name=Width", 400, kOneEach},
        {"two names", "name=Width&name=Height&value=8", 400, kOneEach},
        {"long value", "name=Width&value=" + std::string(300, '1'), 400,
         "the value is longer than 256 bytes"},
        {"not an integer", "name=Width&value=abc", 400, "Width takes an integer, not 'abc'"},
        {"with blank", "name=Width&value=%20320", 400, "Width takes an integer, not ' 320'"},
        {"float for integer", "name=Gain&value=1.5", 400, "Gain takes an integer, not '1.5'"},
        {"above maximum", "name=Width&value=648", 400, "648 is outside Width's range 8..640"},
        {"below minimum", "name=Width&value=0", 400, "0 is outside Width's range 8..640"},
        {"off the step", "name=Width&value=321", 400, "321 is not a step of Width (8 + n * 8)"},
        {"int64 overflow", "name=Width&value=9223372036854775808", 400,
         "Width takes an integer, not '9223372036854775808'"},
        {"unavailable entry", "name=ColorCoding&value=Raw16", 400,
         "'Raw16' is not an available entry of ColorCoding (Mono8, Mono16)"},
        {"not a boolean", "name=ContinuousShot&value=yes", 400,
         "ContinuousShot takes true or false, not 'yes'"},
        {"read-only", "name=ModelName&value=X", 409, "ModelName is read-only (RO)"},
    };
    for (const auto& [name, body, status, error] : cases)
        EXPECT_EQ(Reply(Post("/api/feature", body)),
                  std::to_string(status) + " {\"error\":\"" + error + "\"}")
            << name;
    EXPECT_EQ(Heads(Post("/api/feature", "name=Width&value=8&pad=" + std::string(5000, 'x')), {}),
              "413");
    EXPECT_EQ(Heads(client->Get(("/api/status?pad=" + std::string(3000, 'x')).c_str()), {}), "414");
    EXPECT_TRUE(Shows("Width", "\"value\":640,\"min\":8,\"max\":640,\"inc\":8"));
    EXPECT_TRUE(Shows("ColorCoding", "\"value\":\"Mono8\""));
    EXPECT_TRUE(Shows("ModelName", "\"access\":\"RO\""));
}

TEST_F(ViewServerTest, ASettingChangesTheFramesAndStaysWithTheCamera) {
    EXPECT_EQ(Reply(Post("/api/feature", "name=Width&value=320")),
              R"j(200 {"name":"Width","value":"320"})j");
    // The other features follow: XPosition may now move up to 320.
    EXPECT_TRUE(Shows("XPosition", "\"max\":320"));
    EXPECT_EQ(Heads(NextFrame(Frames()), {"X-Frame-Width"}), "200 320");

    EXPECT_EQ(Heads(Post("/api/feature", "name=ColorCoding&value=Mono16"), {}), "200");
    ASSERT_EQ(Heads(NextFrame(Frames()), {}), "200");
    auto png = client->Get("/api/frame.png");
    ASSERT_TRUE(png && png->status == 200 && png->body.size() > 26);
    EXPECT_EQ(png->body[24], 16) << "16-bit frames are saved at 16 bits";

    // Opened again, as `kacq get --device` does, the camera holds what the view set.
    StopView();
    KacqView::ViewCamera again("127.0.62.2", cameraPort);
    EXPECT_EQ(again.Camera().Width->GetValue(), 320);
    EXPECT_EQ(again.Camera().ColorCoding->ToString(), "Mono16");
}

TEST_F(ViewServerTest, AcquisitionStartsStopsAndTakesOneShot) {
    ASSERT_TRUE(NextFrame(0));
    for (const char* body : {"action=pause", "", "action=stop&action=start"})
        EXPECT_EQ(Reply(Post("/api/acquisition", body)),
                  R"j(400 {"error":"the action is one of start, stop, oneshot"})j")
            << body;
    auto stop = Post("/api/acquisition", "action=stop");
    ASSERT_EQ(Heads(stop, {}), "200");
    EXPECT_NE(stop->body.find("\"running\":false"), std::string::npos);
    // The frame in flight when stopping may still land.
    std::this_thread::sleep_for(100ms);
    const uint64_t stopped = Frames();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Frames(), stopped);

    ASSERT_EQ(Heads(Post("/api/acquisition", "action=oneshot"), {}), "200");
    EXPECT_EQ(Heads(NextFrame(stopped), {"X-Frame-Number"}), "200 " + std::to_string(stopped + 1));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Frames(), stopped + 1);

    auto start = Post("/api/acquisition", "action=start");
    ASSERT_EQ(Heads(start, {}), "200");
    EXPECT_NE(start->body.find("\"running\":true"), std::string::npos);
    EXPECT_EQ(Heads(NextFrame(stopped + 1), {}), "200");
}

} // namespace
