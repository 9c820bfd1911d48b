#include "webframework/WebHTML.h"

#include "webframework/WebClientType.h"

#include <gtest/gtest.h>

namespace {

TEST(WebHTMLTest, EscapesEveryMarkupCharacter) {
  struct TCase {
    std::string text, content, attribute;
  };
  const TCase cases[] = {
      {"plain Über", "plain Über", "plain Über"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;",
       "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"a\"b&c", "a&quot;b&amp;c", "a&quot;b&amp;c"},
      {"line\r\nnext", "line\r\nnext", "line&#13;&#10;next"},
      {std::string("nul\0bell\x07", 9), "nulbell", "nulbell"},
      {"\xff<", "\xc3\xbf&lt;", "\xc3\xbf&lt;"}, // not UTF-8: read as Latin-1
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(htmlEscape(c.text), c.content) << c.text;
    EXPECT_EQ(htmlAttribute(c.text), c.attribute) << c.text;
  }
  EXPECT_EQ(webUrlEncode("a b/ü&=~"), "a%20b%2F%C3%BC%26%3D~");
}

TEST(WebHTMLTest, ClientTypeFromTheRequestHeaders) {
  struct TCase {
    const char* agent;
    const char* accept;
    TWebClientType type;
  };
  const TCase cases[] = {
      {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 Chrome/120", "text/html", ctHTML40},
      {"Mozilla/4.0 (compatible; MSIE 6.0)", "", ctHTML40},
      {"Opera/9.80", "", ctHTML40},
      {"Mozilla/3.01 (X11)", "", ctUnknown},
      {"Mozilla/5.0 (compatible; HTML/3.2 client)", "text/html", ctHTML32},
      {"Lynx/2.9.0dev.12 libwww-FM/2.14", "", ctHTML32},
      {"w3m/0.5.3", "", ctHTML32},
      {"Nokia6310i/1.0 UP.Browser/6.2", "", ctWAP},
      {"SomePhone", "text/vnd.wap.wml", ctWAP},
      {"Mozilla/5.0", "text/html, text/vnd.wap.wml", ctHTML40},
      {"curl/7.88.1", "*/*", ctUnknown},
      {"", "", ctUnknown},
  };
  for (const TCase& c : cases) {
    TWebRequest request;
    if (*c.agent != '\0') {
      request.Headers.push_back({"User-Agent", c.agent});
    }
    request.Headers.push_back({"Accept", c.accept});
    EXPECT_EQ(detectWebClientType(request), c.type) << c.agent << " / " << c.accept;
  }
}

} // namespace
