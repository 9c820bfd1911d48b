#include "webframework/WebRequest.h"

#include "webframework/WebRequestHead.h"

#include <gtest/gtest.h>

namespace {

TEST(WebRequestTest, DecodesFormFieldsInTheOrderTheyCame) {
  const TWebFields fields =
      parseWebFormFields("smsusr=a%2Bb&receiver=+4917&&flag&message=Gr%C3%BC%DFe&e=%zz%4");
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].Name, "smsusr");
  EXPECT_EQ(fields[0].Value, "a+b");
  EXPECT_EQ(fields[1].Value, " 4917"); // an unencoded "+" is a blank
  EXPECT_EQ(fields[2].Name, "flag");
  EXPECT_EQ(fields[2].Value, "");
  EXPECT_EQ(fields[3].Value, "Grü\xC3\x9F"
                             "e"); // "%DF" alone is no UTF-8: read as Latin-1 "ß"
  EXPECT_EQ(fields[4].Value, "%zz%4");

  EXPECT_EQ(findWebField(fields, "RECEIVER"), &fields[1]);
  EXPECT_EQ(findWebField(fields, "missing"), nullptr);
  EXPECT_EQ(webUrlDecode("/a+b%20c", false), "/a+b c");
}

TEST(WebRequestTest, ResponseHeadersAreReplacedByName) {
  TWebResponse response;
  response.setHeader("encoding", "x");
  response.setHeader("Encoding", "ISO-8859-1");
  ASSERT_EQ(response.Headers.size(), 1u);
  EXPECT_EQ(response.getHeader("ENCODING"), "ISO-8859-1");
}

TEST(WebRequestHeadTest, FindsWhereARequestEnds) {
  const TWebLimits limits;
  struct TCase {
    std::string bytes;
    EWebHeadScan state;
    int status;
  };
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  const TCase cases[] = {
      {"", EWebHeadScan::Incomplete, 0},
      {"GET / HTTP/1.1\r\nHost: x\r\n", EWebHeadScan::Incomplete, 0},
      {get, EWebHeadScan::Complete, 0},
      {"GET / HTTP/1.1\r\n\r\n", EWebHeadScan::Complete, 0},
      {get + "GET /next", EWebHeadScan::Complete, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabc", EWebHeadScan::Incomplete, 0},
      {"POST / HTTP/1.1\r\ncontent-length:5\r\n\r\nabcde", EWebHeadScan::Complete, 0},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", EWebHeadScan::Complete, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 9\r\nExpect: 100-continue\r\n\r\n",
       EWebHeadScan::Complete, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 65537\r\n\r\n", EWebHeadScan::Refused, 413},
      {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", EWebHeadScan::Refused,
       413},
      {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", EWebHeadScan::Refused, 400},
      {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", EWebHeadScan::Refused,
       400},
      {"POST / HTTP/1.1\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
       EWebHeadScan::Refused, 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", EWebHeadScan::Refused, 501},
      {"POST / HTTP/1.1\r\nContent-Length : 5\r\n\r\nabcde", EWebHeadScan::Refused, 400},
      {"GET / HTTP/1.1\r\nno colon\r\n\r\n", EWebHeadScan::Refused, 400},
      {"GET /" + std::string(9000, 'a'), EWebHeadScan::Refused, 414},
      {"GET / HTTP/1.1\r\nX: " + std::string(17000, 'a'), EWebHeadScan::Refused, 431},
      {"GET / HTTP/1.1\r\nX: " + std::string(16370, 'a') + "\r\n\r\n", EWebHeadScan::Refused, 431},
  };
  for (const TCase& c : cases) {
    const TWebRequestHead head = scanWebRequestHead(c.bytes, limits);
    EXPECT_EQ(head.State, c.state) << c.bytes.substr(0, 80);
    EXPECT_EQ(head.RefusalStatus, c.status) << c.bytes.substr(0, 80);
  }

  const TWebRequestHead post =
      scanWebRequestHead("POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcdeGET", limits);
  EXPECT_EQ(post.HeadSize, 38u);
  EXPECT_EQ(post.BodySize, 5u);
}

} // namespace
