// Exception family: message layout, the 255-character cut, source names.
#include "nodeapi/Exceptions.h"

#include <gtest/gtest.h>

#include "support/Raised.h"

using namespace NodeApi;
using KacqTest::RaisedWhere;

TEST(ExceptionsTest, MessageIsTextCutAt255ThenSourceAndLine) {
    const std::string x300(300, 'x');
    EXPECT_EQ("Property: " + std::string(255, 'x') + " (nodeapi/Test:7)", RaisedWhere([&] {
                  NODEAPI_RAISE_AT(PropertyException, "nodeapi/Test", 7, "%s", x300.c_str());
              }));
    EXPECT_EQ("OutOfRange: Value 5 must be small (x/y:1)", RaisedWhere([] {
                  NODEAPI_RAISE_AT(OutOfRangeException, "x/y", 1, "Value %d must be %s", 5,
                                   "small");
              }));
    // NODEAPI_RAISE names this file and the line of the raise.
    const std::string raised = RaisedWhere([] { NODEAPI_RAISE(RuntimeException, "here"); });
    EXPECT_EQ(KacqTest::Where("Runtime", "here", "ExceptionsTest", __LINE__ - 1), raised);
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
