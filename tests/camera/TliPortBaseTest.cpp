// TliPortBase and PortNodeImpl: the grabber register and the port identity.
#include "camera/TliPortBase.h"

#include <gtest/gtest.h>

#include <functional>

#include "nodeapi/Exceptions.h"

using namespace NodeApi;

namespace {

// Stands in for the transport delegate: open and prepared flags only.
struct FakeDelegate {
    bool open = false;
    bool prepared = false;
    bool IsOpen() const { return open; }
    bool IsPrepared() const { return prepared; }
};

using GrabberPort = XCameraPrivate::TliPortBase<FakeDelegate>;

std::string Error(const std::function<void()>& action) {
    try {
        action();
    } catch (const GenericException& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST(TliPortBaseTest, ErrorsCarryTheirSourceAndLine) {
    FakeDelegate delegate;
    GrabberPort port(&delegate);
    uint8_t buffer[4] = {};
    EXPECT_EQ("CopyData : Destination size (4) does not fit source size (1) "
              "(nodeapi/RegisterSetHelper:31)",
              Error([&] { port.Read(buffer, 1, 4); }));
    EXPECT_EQ("Failed to access non-implemented register 0x0000000000000002 "
              "(camera/TliPortBase:107)",
              Error([&] { port.Read(buffer, 2, 1); }));
    EXPECT_EQ("Failed to write read-only register 0x0000000000000001 (camera/TliPortBase:89)",
              Error([&] { port.Write(buffer, 1, 1); }));
    EXPECT_EQ("Failed to access non-implemented register 0x0000000000000000 "
              "(camera/TliPortBase:115)",
              Error([&] { port.Write(buffer, 0, 1); }));
}

TEST(TliPortBaseTest, PortIdentityReportsOpenStateAndOwnChangedFlag) {
    FakeDelegate delegate;
    GrabberPort port(&delegate);
    EXPECT_TRUE(port.IsChanged()); // true after construction
    port.SetChanged(false);
    EXPECT_FALSE(port.IsChanged());
    EXPECT_EQ(NP, port.GetAccessMode());
    delegate.open = true;
    EXPECT_EQ(RW, port.GetAccessMode());
    GrabberPort orphan; // no delegate yet: closed, and the register reads 1
    EXPECT_EQ(NP, orphan.GetAccessMode());
    uint8_t value = 0;
    orphan.Read(&value, 1, 1);
    EXPECT_EQ(1, value);
}
