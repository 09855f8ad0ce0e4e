// TliPortBase and PortNodeImpl over the grabber stand-in of support/emulated.
#include "camera/TliPortBase.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/Raised.h"
#include "support/emulated/EmulatorPort.h"

using namespace NodeApi;

namespace {

TEST(TliPortBaseTest, ErrorsCarryTheirSourceAndLine) {
    Emulator::GrabberStandIn delegate;
    Emulator::StandInGrabberPort port(&delegate);
    uint8_t buffer[4] = {};
    const std::string rt = "Runtime: Failed to ", none = "access non-implemented register 0x";
    const std::tuple<bool, int64_t, int64_t, std::string> cases[] = {
        {false, 1, 4,
         "OutOfRange: CopyData : Destination size (4) does not fit source size (1) "
         "(nodeapi/RegisterSetHelper:31)"},
        {false, 2, 1, rt + none + "0000000000000002 (camera/TliPortBase:107)"},
        {true, 1, 1, rt + "write read-only register 0x0000000000000001 (camera/TliPortBase:89)"},
        {true, 0, 1, rt + none + "0000000000000000 (camera/TliPortBase:115)"},
    };
    for (const auto& [write, address, length, raised] : cases) {
        EXPECT_EQ(raised, KacqTest::RaisedWhere([&, w = write, at = address, n = length] {
                      w ? port.Write(buffer, at, n) : port.Read(buffer, at, n);
                  }));
    }
}

TEST(TliPortBaseTest, PortIdentityReportsOpenStateAndOwnChangedFlag) {
    Emulator::GrabberStandIn delegate;
    Emulator::StandInGrabberPort port(&delegate), orphan; // no delegate yet
    const int changedAtFirst = port.IsChanged();
    port.SetChanged(false);
    const int closed = port.GetAccessMode();
    delegate.open = true;
    uint8_t value = 0;
    orphan.Read(&value, 1, 1);
    EXPECT_EQ((std::vector<int>{1, 0, NP, RW, NP, 1}),
              (std::vector<int>{changedAtFirst, port.IsChanged(), closed, port.GetAccessMode(),
                                orphan.GetAccessMode(), value}));
}

} // namespace
