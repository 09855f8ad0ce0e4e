// Exception family: message layout, the 255-character cut, source names.
#include "nodeapi/Exceptions.h"

#include <gtest/gtest.h>

#include "support/Raised.h"

using namespace NodeApi;

TEST(ExceptionsTest, ReporterFormatsAndCutsAt255Characters) {
    std::string long300(300, 'x');
    EXPECT_EQ("Property: " + std::string(255, 'x') + " (nodeapi/Test:7)",
              KacqTest::RaisedWhere([&] {
                  NODEAPI_RAISE_AT(PropertyException, "nodeapi/Test", 7, "%s", long300.c_str());
              }));
    EXPECT_EQ("OutOfRange: Value 5 must be small (x/y:1)", KacqTest::RaisedWhere([] {
                  NODEAPI_RAISE_AT(OutOfRangeException, "x/y", 1, "Value %d must be %s", 5,
                                   "small");
              }));
}

TEST(ExceptionsTest, SourceIsThePathUnderSrcWithoutExtension) {
    const struct {
        const char* path;
        const char* source;
    } cases[] = {
        {"/work/main/src/nodeapi/Node.cpp", "nodeapi/Node"},
        {"/a/src/b/src/camera/TliPortBase.h", "camera/TliPortBase"},
        {"src/nodeapi/IntReg.cpp", "nodeapi/IntReg"},
        {"/elsewhere/tests/Thing.cpp", "Thing"},
        {"NoExtension", "NoExtension"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.source, SourceNameOf(c.path)) << c.path;
}

TEST(ExceptionsTest, RaiseCarriesTheRealFileAndLine) {
    int line = 0;
    try {
        line = __LINE__ + 1;
        NODEAPI_RAISE(RuntimeException, "here");
    } catch (const RuntimeException& e) {
        EXPECT_EQ("ExceptionsTest", e.GetSourceFileName());
        EXPECT_EQ(static_cast<uint32_t>(line), e.GetSourceLine());
    }
}
