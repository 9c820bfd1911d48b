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
      {"BREW / HTTP/1.1\r\n\r\n", EWebHeadScan::Refused, 400},
      {"GET / HTTP/2.0\r\n\r\n", EWebHeadScan::Refused, 400},
      {"GET  / HTTP/1.1\r\n\r\n", EWebHeadScan::Refused, 400},
      {"GET /a b HTTP/1.1\r\n\r\n", EWebHeadScan::Refused, 400},
      {"GET / HTTP/1.1\n\r\n\r\n", EWebHeadScan::Refused, 400},
      {"\r\nGET / HTTP/1.1\r\n\r\n", EWebHeadScan::Refused, 400},
      {"DELETE /x HTTP/1.0\r\n\r\n", EWebHeadScan::Complete, 0},
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

  const TWebRequestHead get2 = scanWebRequestHead(
      "GET /sendsms?a=%2B1 HTTP/1.0\r\nHost: x\r\nX-Trace:  t1 \r\nhost: y\r\n\r\n", limits);
  EXPECT_EQ(get2.Method, "GET");
  EXPECT_EQ(get2.Target, "/sendsms?a=%2B1");
  EXPECT_EQ(get2.Version, "HTTP/1.0");
  ASSERT_EQ(get2.Headers.size(), 3u);
  EXPECT_EQ(get2.Headers[1].Name, "X-Trace");
  EXPECT_EQ(get2.Headers[1].Value, "t1");
  EXPECT_EQ(get2.Headers[2].Value, "y");
}

TEST(WebRequestHeadTest, DecodesChunkedBodies) {
  struct TCase {
    std::string bytes;
    EWebBodyScan state;
    int status;
    std::string body;
    std::size_t size;
  };
  const std::string done = "3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\n";
  const TCase cases[] = {
      {"", EWebBodyScan::Incomplete, 0, "", 0},
      {"3\r\nab", EWebBodyScan::Incomplete, 0, "", 0},
      {"3\r\nabc\r\n0\r\n", EWebBodyScan::Incomplete, 0, "", 0},
      {done, EWebBodyScan::Complete, 0, "abcde", done.size()},
      {done + "GET /next", EWebBodyScan::Complete, 0, "abcde", done.size()},
      {"A\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n", EWebBodyScan::Complete, 0, "0123456789", 32},
      {"x\r\nabc\r\n", EWebBodyScan::Refused, 400, "", 0},
      {"3\r\nabcX\r\n", EWebBodyScan::Refused, 400, "", 0},
      {"11\r\n", EWebBodyScan::Refused, 413, "", 0}, // 17 bytes over a limit of 16
      {"9\r\n123456789\r\n8\r\n", EWebBodyScan::Refused, 413, "", 0},
      {"FFFFFFFFFFFFFFFFFFFF\r\n", EWebBodyScan::Refused, 413, "", 0},
      {std::string(2000, '1'), EWebBodyScan::Refused, 400, "", 0},
  };
  for (const TCase& c : cases) {
    const TWebChunkedBody body = scanWebChunkedBody(c.bytes, 16);
    EXPECT_EQ(body.State, c.state) << c.bytes.substr(0, 40);
    EXPECT_EQ(body.RefusalStatus, c.status) << c.bytes.substr(0, 40);
    if (c.state == EWebBodyScan::Complete) {
      EXPECT_EQ(body.Body, c.body) << c.bytes;
      EXPECT_EQ(body.Size, c.size) << c.bytes;
    }
  }
}

} // namespace
