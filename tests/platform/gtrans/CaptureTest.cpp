// A transport session captured on lo and decoded by tshark's GVCP/GVSP dissectors.
// Skipped, with the reason, where tshark is missing or may not capture.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "TransportFixture.h"

extern char** environ;

namespace GTransTest {
namespace {

// Output of a shell command (our own paths and numbers only).
std::string Shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char chunk[4096];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            output.append(chunk, got);
        pclose(pipe);
    }
    return output;
}

// tshark capturing on lo into `file`, started by this test and stopped by pid.
class Capture {
public:
    Capture(const std::string& filter, const std::string& file, const std::string& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<std::string> args = {"tshark", "-i", "lo", "-f",         filter,
                                         "-w",     file, "-a", "duration:60"};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "tshark", &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Ready once it says so; gone early means it may not capture here.
        for (int i = 0; i < 200 && pid_ > 0 && !ready_; ++i) {
            int status = 0;
            if (Shell("cat " + log).find("Capturing on") != std::string::npos) {
                // The message comes a little before the capture really runs.
                std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                ready_ = true;
            } else if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    ~Capture() {
        if (pid_ > 0) {
            kill(pid_, SIGINT);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    bool Ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

int32_t Ignore(const char*, const char*, void*) {
    return 0;
}

TEST(GTransCapture, TsharkDecodesTheSessionCleanly) {
    if (Shell("command -v tshark").empty())
        GTEST_SKIP() << "tshark is not installed (scripts/setup.sh installs it)";
    char folder[] = "/tmp/gtrans-capture-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    const std::string file = std::string(folder) + "/session.pcapng";
    const std::string log = std::string(folder) + "/tshark.log";

    Emulator::FaultOptions faults;
    faults.dropPacket = 0.1; // forces resends
    Emulated emu(Ip(127, 0, 60, 1), 1, "vga-mono", false, faults);
    const std::string camera = Dotted(emu.server->Address(0));
    Initialised init;
    GxHandle grabber = 0;
    ASSERT_EQ(GX_OK, GxStreamGrabberCreate(&grabber));
    GxStreamAddress address{};
    ASSERT_EQ(GX_OK, GxStreamGrabberGetAddress(grabber, &address));
    sockaddr_in local{};
    memcpy(&local, address.bytes, sizeof local);
    const uint16_t streamPort = ntohs(local.sin_port);
    {
        // Only this test's traffic: its camera's control port and its grabber.
        Capture capture("udp and host " + camera + " and (port " + std::to_string(emu.port) +
                            " or port " + std::to_string(streamPort) + ")",
                        file, log);
        if (!capture.Ready()) {
            const std::string reason = Shell("cat " + log);
            Shell(std::string("rm -r ") + folder);
            GxStreamGrabberDestroy(grabber);
            GTEST_SKIP() << "capture on lo impossible here: " << reason;
        }
        setenv("GTRANS_DISCOVERY", camera.c_str(), 1);
        ASSERT_EQ(GX_OK, GxEnumServer(std::to_string(emu.port).c_str(), 1000, Ignore, nullptr));
        unsetenv("GTRANS_DISCOVERY");
        {
            Stream stream(emu, 160, 120, 0, grabber);
            const uint32_t size = 0xF0F0800Cu;
            uint32_t value = 0;
            ASSERT_EQ(GX_OK, GxReadReg(stream.device, &size, &value, 1));
            stream.Queue(4);
            stream.Shoot(4);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(GX_OK, stream.Next(3000).first);
            EXPECT_GT(stream.Stats().resendCommands, 0u) << "the session must show a resend";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Two passes, so commands learn their acknowledge (gvcp.response_in).
    const std::string read = "tshark -2 -r " + file + " -d udp.port==" + std::to_string(emu.port) +
                             ",gvcp -d udp.port==" + std::to_string(streamPort) + ",gvsp";
    EXPECT_EQ("", Shell(read + " -Y '_ws.malformed || _ws.expert.severity >= \"Warning\"'"))
        << "malformed or suspicious packets";
    EXPECT_EQ("", Shell(read + " -Y 'udp && !gvcp && !gvsp'")) << "undecoded datagrams";

    const std::string distinct = " 2>/dev/null | sort -u | tr '\\n' ' '";
    EXPECT_EQ("0x0002 0x0040 0x0080 0x0082 ",
              Shell(read + " -Y gvcp.cmd.command -T fields -e gvcp.cmd.command" + distinct));
    EXPECT_EQ("", Shell(read + " -Y '(gvcp.cmd.command == 0x0040 && gvcp.response_in) || "
                               "(gvcp.cmd.command != 0x0040 && !gvcp.response_in)'"))
        << "PACKETRESEND is unacknowledged, every other command acknowledged";
    EXPECT_EQ("0x01 0x02 0x03 ", Shell(read + " -Y gvsp -T fields -e gvsp.format" + distinct));
    if (::testing::Test::HasFailure())
        fprintf(stderr, "%s\n", Shell(read + " -O gvcp,gvsp | head -200").c_str());
    Shell(std::string("rm -r ") + folder);
}

} // namespace
} // namespace GTransTest
