#include "common/VTobjecttools.h"

#include <gtest/gtest.h>

namespace {

class TListener : public TVTPublishedObject {
public:
  TListener() {
    publishMethod("handleData", [this](const char* aText, int aLength) {
      fReceived.assign(aText, static_cast<std::size_t>(aLength));
    });
  }
  std::string fReceived;
};

TEST(VTobjecttoolsTest, FindsPublishedHandlersByCaseInsensitiveName) {
  TListener listener;
  EXPECT_TRUE(VTMethodExists(&listener, "HANDLEDATA"));
  EXPECT_FALSE(VTMethodExists(&listener, "handle"));
  EXPECT_FALSE(VTMethodExists(nullptr, "handleData"));

  const TVTMethod method = VTFindMethod(&listener, "handledata");
  ASSERT_TRUE(method);
  EXPECT_EQ(method.Data, &listener);
  method.Code("OK\r\n", 2);
  EXPECT_EQ(listener.fReceived, "OK");
  EXPECT_FALSE(VTFindMethod(&listener, "other").Code);
}

} // namespace
