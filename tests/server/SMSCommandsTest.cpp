#include "server/SMSCommands.h"

#include "common/AttributedDocument.h"
#include "common/TextEncoding.h"
#include "server/Accounts.h"
#include "tests/server/FakeSMSParts.h"

#include <gtest/gtest.h>

namespace {

using fakes::TFakeAccount;
using fakes::TFakeSMSModem;
using fakes::TFakeSMSStore;

// A request as the framework hands it over: a GET with a query, or a POST with a form body.
TWebRequest request(const std::string& aPath, const std::string& aQuery,
                    const std::string& aBody = "") {
  TWebRequest r;
  r.Method = aBody.empty() ? "GET" : "POST";
  r.Path = aPath;
  r.QueryText = aQuery;
  r.QueryFields = parseWebFormFields(aQuery);
  r.Body = aBody;
  return r;
}

std::string digest(const std::string& aPassword) {
  return encodeMD5(aPassword);
}

class SMSCommandsTest : public testing::Test {
protected:
  SMSCommandsTest() {
    fStore.Accounts = {
        {1, "anna", "pw", 1 | 2, {"49"}, {}}, // may send to 49..., may receive
        {2, "bert", "pw", 2, {"49"}, {}},     // receive only
        {3, "admin", "pw", IC_ACCOUNTTYPE_ADMIN, {""}, {}},
        {4, "nopat", "pw", 1, {}, {}}, // may send, but to nobody
    };
  }

  // One request, its answer written whole (its OnWritten runs with true); the next comes
  // after every slowing of a failure is over.
  TWebResponse run(const TWebRequest& aRequest) {
    TWebResponse response = runUnwritten(aRequest);
    if (response.OnWritten) {
      response.OnWritten(true);
    }
    return response;
  }
  TWebResponse runUnwritten(const TWebRequest& aRequest) {
    TWebResponse response;
    fCommands.dispatch(aRequest, response);
    fNow += std::chrono::hours(1);
    return response;
  }

  TFakeSMSStore fStore;
  TFakeSMSModem fModem;
  std::chrono::steady_clock::time_point fNow{};
  TSMSCommands fCommands{fStore, fModem, {}, [this] { return fNow; }};
};

TEST_F(SMSCommandsTest, SendSMSAnswersEveryCase) {
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw");
  struct TCase {
    const char* Name;
    std::string Query;
    int Status;
    std::string Body;
    std::string Sent; // kind:receiver:text-or-hex of the one send, "" for none
    bool ModemActive = true;
    int ModemResult = 0;
  };
  const TCase cases[] = {
      {"modem not active", anna + "&receiver=4917&message=Hi", 404, "", "", false},
      {"unknown account", "smsusr=nobody&smspwd=x&receiver=4917&message=Hi", 403, "401", ""},
      {"wrong password", "smsusr=anna&smspwd=" + digest("no") + "&receiver=4917&message=Hi", 403,
       "401", ""},
      {"plain password taken as digest", "smsusr=anna&smspwd=pw&receiver=4917&message=Hi", 403,
       "401", ""},
      {"plain password announced",
       "smsusr=anna&smspwd=pw&smspwdcoded=false&receiver=4917&message=Hi", 200, "200",
       "text:4917:Hi"},
      {"plain password announced by 0",
       "smsusr=anna&smspwd=pw&smspwdcoded=0&receiver=4917&message=Hi", 200, "200", "text:4917:Hi"},
      {"no send right", "smsusr=bert&smspwd=" + digest("pw") + "&receiver=4917&message=Hi", 403,
       "403", ""},
      {"receiver missing", anna + "&message=Hi", 400,
       "400:HTTP-Parameter <receiver> not found, but required.", ""},
      {"message missing", anna + "&receiver=4917&message=", 400,
       "400:HTTP-Parameter <message> not found, but required.", ""},
      {"no pattern matches", anna + "&receiver=4412&message=Hi", 403, "403:no rights to send", ""},
      {"no patterns at all", "smsusr=nopat&smspwd=" + digest("pw") + "&receiver=4917&message=Hi",
       403, "403:no rights to send", ""},
      {"encoded plus", anna + "&receiver=%2B4917&message=Hi", 200, "200", "text:4917:Hi"},
      {"plus as blank", anna + "&receiver=+4917&message=Hi", 200, "200", "text:4917:Hi"},
      {"leading 00", anna + "&receiver=004917&message=Hi", 200, "200", "text:4917:Hi"},
      {"binary from hex", anna + "&receiver=4917&message=48656C6C6F&coding=base16&type=BIN", 200,
       "200", "binary:4917:48656C6C6F"},
      {"push from base64", anna + "&receiver=4917&message=SGk%3D&coding=Base64&type=push", 200,
       "200", "push:4917:4869"},
      {"binary from plain text", anna + "&receiver=4917&message=%C4b&type=bin", 200, "200",
       "binary:4917:C462"},
      {"text from base64", anna + "&receiver=4917&message=SGk%3D&coding=base64&type=txt", 200,
       "200", "text:4917:Hi"},
      {"text from hex has no text", anna + "&receiver=4917&message=4869&coding=base16", 200, "200",
       "text:4917:"},
      {"unknown type sends text", anna + "&receiver=4917&message=Hi&type=fax", 200, "200",
       "text:4917:Hi"},
      {"modem fails", anna + "&receiver=4917&message=Hi", 500, "", "text:4917:Hi", true, 1},
      {"no hexadecimal text", anna + "&receiver=4917&message=xyz&coding=base16&type=bin", 500,
       "500:xyz is not a coded-pure-string (Byte)", ""},
  };
  for (const TCase& c : cases) {
    fModem = TFakeSMSModem();
    fModem.Active = c.ModemActive;
    fModem.Result = c.ModemResult;
    fStore.CheckedUsers.clear();
    const TWebResponse answer = run(request("/sendsms", c.Query));
    EXPECT_EQ(answer.Status, c.Status) << c.Name;
    EXPECT_EQ(answer.Body, c.Body) << c.Name;
    std::string sent;
    for (const auto& send : fModem.Sent) {
      sent +=
          send.Kind + ":" + send.Receiver + ":" + (send.Kind == "text" ? send.Text : send.DataHex);
    }
    EXPECT_EQ(sent, c.Sent) << c.Name;
    if (!c.ModemActive) {
      EXPECT_TRUE(fStore.CheckedUsers.empty()) << "no authentication while the modem is down";
    }
  }
}

TEST_F(SMSCommandsTest, ATextGoesInAsManyPartsAsMaxSMSPartsAllows) {
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw");
  std::string query = anna + "&receiver=4917&message=";
  std::string text;
  for (int i = 0; i < 400; ++i) {
    query += "%D0%96"; // Cyrillic: six UCS2 parts of at most 67 characters
    text += "\xD0\x96";
  }
  TWebResponse answer = run(request("/sendsms", query));
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(answer.Body, "200");
  ASSERT_EQ(fModem.Sent.size(), 1u);
  EXPECT_EQ(fModem.Sent[0].Text, text);
  EXPECT_EQ(fModem.Sent[0].MaxParts, 6) << "the default";

  fCommands.setMaxSMSParts(5);
  answer = run(request("/sendsms", query));
  EXPECT_EQ(answer.Status, 400);
  EXPECT_EQ(answer.Body, "400:message too long: the text needs 6 SMS, at most 5 are allowed");
  EXPECT_EQ(fModem.Sent.size(), 1u) << "nothing sent";
}

TEST_F(SMSCommandsTest, AnswersCarryTheTextHeadersAndLatin1Bodies) {
  fStore.Connected = false;
  const TWebResponse answer = run(request("/SendSMS", "smsusr=anna&smspwd=x&receiver=1&message=1"));
  EXPECT_EQ(answer.Status, 403);
  EXPECT_EQ(answer.Body, "500:db not connected");
  EXPECT_EQ(answer.ContentType, "text/txt");
  EXPECT_EQ(answer.getHeader("Content-Encoding"), "ISO-8859-1");
  EXPECT_EQ(answer.getHeader("encoding"), "ISO-8859-1");

  const TWebResponse unknown = run(request("/sendsms/more", "smsusr=anna"));
  EXPECT_EQ(unknown.Status, 501);
  EXPECT_EQ(unknown.Body, "404");
  EXPECT_EQ(unknown.ContentType, "text/txt");

  fStore.Connected = true;
  fStore.ThrowIn = "checkSMSForSend";
  const TWebResponse failed = run(
      request("/sendsms", "smsusr=anna&smspwd=" + digest("pw") + "&receiver=49&message=\xC3\xA4"));
  EXPECT_EQ(failed.Status, 500) << "the status the command had set";
  EXPECT_EQ(failed.Body, "500:store failed");
}

TEST_F(SMSCommandsTest, FormBodiesArriveInLowerCaseAndAQueryWins) {
  run(request("/sendsms", "",
              "SMSUSR=anna&SmsPwd=" + digest("pw") + "&receiver=4917&message=Hello"));
  ASSERT_EQ(fModem.Sent.size(), 1u);
  EXPECT_EQ(fModem.Sent[0].Text, "hello");

  const TWebResponse answer = run(request("/sendsms", "smsusr=anna", "message=ignored"));
  EXPECT_EQ(answer.Status, 403) << "a request with a query is never read from its body";
  EXPECT_EQ(answer.Body, "401");
}

TEST_F(SMSCommandsTest, GetNewSMSDeliversAndDeletesTheQueue) {
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw");
  EXPECT_EQ(run(request("/getnewsms", "smsusr=bert&smspwd=" + digest("no"))).Body, "401");
  EXPECT_EQ(run(request("/getnewsms", "smsusr=nopat&smspwd=" + digest("pw"))).Body, "403");

  TWebResponse answer = run(request("/getnewsms", anna));
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(answer.Body, "200");
  EXPECT_EQ(fStore.CommitClaims, 1) << "the queue is read in a fresh transaction";

  const TDateTime t0 = TDateTime::encode(2026, 1, 2, 3, 4, 5);
  fStore.Unread = {{1, 11, VTSMSMMT_TEXT, "4930", "Grüße", "", t0, t0},
                   {2, 12, VTSMSMMT_TEXT, "4931", "bert's", "", t0, t0},
                   {1, 13, VTSMSMMT_DATA, "4932", "0102", "", t0, t0},
                   {1, 14, VTSMSMMT_TEXT, "4933", "third", "", t0, t0}};
  answer = run(request("/getnewsms", anna));
  EXPECT_EQ(answer.Status, 201);
  ASSERT_EQ(answer.Body.rfind("201:", 0), 0u);
  TAttributedDocument document;
  document.setContent(latin1ToUtf8(answer.Body.substr(4)));
  ASSERT_EQ(document.getAttributeCount(), 3);
  const char* senders[] = {"4930", "4932", "4933"};
  for (int i = 0; i < 3; ++i) {
    TAbstractAttribute& record = document.getAttributes(i);
    EXPECT_EQ(record.getAttributeID(), std::to_string(i));
    TAttributedDocument& sms = record.getValueAsRecord();
    EXPECT_EQ(sms.getAttributesByID("sender")->getValueAsString(), senders[i]);
    EXPECT_EQ(sms.getAttributesByID("msgindex")->getValueAsInteger(), -1);
  }
  TAttributedDocument& first = document.getAttributes(0).getValueAsRecord();
  EXPECT_EQ(first.getAttributesByID("message")->getValueAsString(), "Grüße");
  EXPECT_EQ(first.getAttributesByID("msglength")->getValueAsInteger(), 5) << "characters";
  EXPECT_EQ(first.getAttributesByID("msgtime")->getValueAsDateTime(), t0);
  EXPECT_EQ(document.getAttributes(1)
                .getValueAsRecord()
                .getAttributesByID("msgtype")
                ->getValueAsInteger(),
            1);
  EXPECT_EQ(fStore.Deleted,
            (std::vector<std::pair<std::int64_t, std::int64_t>>{{11, 1}, {13, 1}, {14, 1}}));
  EXPECT_EQ(fStore.unreadOf(2).size(), 1u) << "bert's copy stays";
  EXPECT_EQ(run(request("/getnewsms", anna)).Body, "200");
}

// Delivered SMS are deleted only once their answer went out whole; until then other
// fetches of the account leave them out, and an answer that did not go out whole leaves them
// queued for the next fetch.
TEST_F(SMSCommandsTest, GetNewSMSDeletesOnlyWhatAnAnswerWrittenWholeDelivered) {
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw");
  const TDateTime t0 = TDateTime::encode(2026, 1, 2, 3, 4, 5);
  fStore.Unread = {{1, 11, VTSMSMMT_TEXT, "4930", "one", "", t0, t0},
                   {1, 12, VTSMSMMT_TEXT, "4931", "two", "", t0, t0}};
  TWebResponse lost = runUnwritten(request("/getnewsms", anna));
  EXPECT_EQ(lost.Status, 201);
  ASSERT_TRUE(lost.OnWritten);
  EXPECT_TRUE(fStore.Deleted.empty());
  EXPECT_EQ(run(request("/getnewsms", anna)).Body, "200") << "on their way in the first answer";
  lost.OnWritten(false);
  EXPECT_TRUE(fStore.Deleted.empty());
  EXPECT_EQ(fStore.unreadOf(1).size(), 2u);

  TWebResponse again = runUnwritten(request("/getnewsms", anna));
  TAttributedDocument document;
  document.setContent(latin1ToUtf8(again.Body.substr(4)));
  EXPECT_EQ(document.getAttributeCount(), 2);
  fStore.Unread.push_back({1, 13, VTSMSMMT_TEXT, "4932", "three", "", t0, t0});
  again.OnWritten(true);
  EXPECT_EQ(fStore.Deleted, (std::vector<std::pair<std::int64_t, std::int64_t>>{{11, 1}, {12, 1}}));
  EXPECT_EQ(fStore.unreadOf(1).size(), 1u) << "what arrived meanwhile stays";
  EXPECT_FALSE(run(request("/getnewsms", "smsusr=bert&smspwd=" + digest("pw"))).OnWritten)
      << "nothing delivered, nothing to wait for";
}

TEST_F(SMSCommandsTest, GetNewSMSAnswersJSONWhenAskedTo) {
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw") + "&format=JSON";
  TWebResponse empty = run(request("/getnewsms", anna));
  EXPECT_EQ(empty.Status, 200);
  EXPECT_EQ(empty.ContentType, "application/json; charset=utf-8");
  EXPECT_EQ(empty.Body, "{\"messages\":[]}");

  const TDateTime t0 = TDateTime::encode(2026, 1, 2, 3, 4, 5, 6);
  fStore.Unread = {{1, 11, VTSMSMMT_TEXT, "4930", "Grüße \"x\"", "", t0, t0},
                   {1, 13, VTSMSMMT_DATA, "4932", "0102", "", t0, t0}};
  const TWebResponse answer = run(request("/getnewsms", anna));
  EXPECT_EQ(answer.Status, 201);
  EXPECT_EQ(answer.Body,
            "{\"messages\":[{\"sender\":\"4930\",\"message\":\"Grüße \\\"x\\\"\",\"data\":\"\","
            "\"msgtype\":0,\"msgindex\":-1,\"msgstate\":-1,\"msglength\":9,"
            "\"msgtime\":\"2026-01-02T03:04:05.006\"},{\"sender\":\"4932\",\"message\":\"0102\","
            "\"data\":\"\",\"msgtype\":1,\"msgindex\":-1,\"msgstate\":-1,\"msglength\":4,"
            "\"msgtime\":\"2026-01-02T03:04:05.006\"}]}");
  EXPECT_EQ(fStore.Deleted.size(), 2u);
  // Refusals stay the plain answers of every command.
  const TWebResponse refused = run(request("/getnewsms", "smsusr=anna&smspwd=wrong&format=json"));
  EXPECT_EQ(refused.Body, "401");
  EXPECT_EQ(refused.ContentType, "text/txt");
}

TEST_F(SMSCommandsTest, ClearMemoryNeedsTheDigestAndTheClearRight) {
  EXPECT_EQ(
      run(request("/clearmemoryserialmodem", "smsusr=admin&smspwd=pw&smspwdcoded=false")).Body,
      "401")
      << "the password is always a digest here";
  EXPECT_EQ(fStore.CheckedAsDigest.back(), true);
  EXPECT_EQ(run(request("/clearmemoryserialmodem", "smsusr=anna&smspwd=" + digest("pw"))).Body,
            "403");
  EXPECT_EQ(fModem.Clears, 0);

  fModem.Active = false; // clearing does not look at the run state
  TWebResponse answer =
      run(request("/clearmemoryserialmodem", "smsusr=admin&smspwd=" + digest("pw")));
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(answer.Body, "200");
  EXPECT_EQ(fModem.Clears, 1);
  fModem.ClearResult = 2;
  answer = run(request("/clearmemoryserialmodem", "smsusr=admin&smspwd=" + digest("pw")));
  EXPECT_EQ(answer.Status, 404);
  EXPECT_EQ(answer.Body, "404");
}

TEST_F(SMSCommandsTest, OnlyGetAndPostRunACommand) {
  fStore.Unread = {{1, 11, VTSMSMMT_TEXT, "4930", "queued", "", TDateTime(), TDateTime()}};
  const std::string anna = "smsusr=anna&smspwd=" + digest("pw");
  const std::string admin = "smsusr=admin&smspwd=" + digest("pw");
  for (const char* method : {"HEAD", "PUT", "DELETE", "OPTIONS", "PATCH", "TRACE", "CONNECT"}) {
    for (const std::string& target :
         {"/getnewsms?" + anna, "/SendSMS?" + anna + "&receiver=4917&message=Hi",
          "/clearmemoryserialmodem?" + admin}) {
      TWebRequest r =
          request(target.substr(0, target.find('?')), target.substr(target.find('?') + 1));
      r.Method = method;
      const TWebResponse answer = run(r);
      EXPECT_EQ(answer.Status, 405) << method << " " << target;
      EXPECT_EQ(answer.getHeader("Allow"), "GET, POST") << method << " " << target;
      EXPECT_EQ(answer.Body, "405");
      EXPECT_EQ(answer.ContentType, "text/txt");
    }
    TWebRequest unknown = request("/nothing", "a=1");
    unknown.Method = method;
    const TWebResponse answer = run(unknown);
    EXPECT_EQ(answer.Status, 501) << method;
    EXPECT_EQ(answer.Body, "404") << method;
  }
  EXPECT_TRUE(fStore.CheckedUsers.empty());
  EXPECT_TRUE(fStore.Deleted.empty());
  EXPECT_EQ(fStore.unreadOf(1).size(), 1u);
  EXPECT_TRUE(fModem.Sent.empty());
  EXPECT_EQ(fModem.Clears, 0);
}

TEST_F(SMSCommandsTest, WrongPasswordsAreSlowedPerAccountNameAndClientAddress) {
  using namespace std::chrono_literals;
  const auto attempt = [&](const std::string& aUser, const std::string& aPassword,
                           const std::string& aAddress) {
    TWebRequest r = request("/getnewsms", "smsusr=" + aUser + "&smspwd=" + digest(aPassword));
    r.RemoteAddr = aAddress;
    TWebResponse answer;
    fCommands.dispatch(r, answer);
    return answer;
  };
  const auto heldFor = [&](const TWebResponse& aAnswer) {
    return aAnswer.HoldUntil == std::chrono::steady_clock::time_point{} ? 0ms
                                                                        : aAnswer.HoldUntil - fNow;
  };
  // A right password is answered at once.
  TWebResponse answer = attempt("anna", "pw", "127.0.0.2");
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(heldFor(answer), 0ms);

  // Each wrong one, sent once the one before was answered, waits longer, up to 16 s.
  for (const auto delay : {500ms, 1000ms, 2000ms, 4000ms, 8000ms, 16000ms, 16000ms}) {
    if (answer.Status == 403) {
      fNow = answer.HoldUntil; // the client waited for the answer before
    }
    answer = attempt("anna", "guess", "127.0.0.2");
    EXPECT_EQ(answer.Status, 403);
    EXPECT_EQ(answer.Body, "401");
    EXPECT_EQ(heldFor(answer), delay);
  }
  const std::size_t checks = fStore.CheckedUsers.size();
  // Meanwhile: the account name is refused unchecked until the delay is over, even with the
  // right password and from elsewhere.
  fNow += 1s;
  answer = attempt("anna", "pw", "127.0.0.1");
  EXPECT_EQ(answer.Body, "401");
  EXPECT_EQ(heldFor(answer), 15s);
  EXPECT_EQ(fStore.CheckedUsers.size(), checks);
  // Another client at that address is checked: a right password is answered at once, a wrong
  // one as late as the address's failures say.
  answer = attempt("bert", "pw", "127.0.0.2");
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(heldFor(answer), 0ms);
  EXPECT_EQ(heldFor(attempt("bert", "guess", "127.0.0.2")), 16s);
  answer = attempt("bert", "pw", "127.0.0.1");
  EXPECT_EQ(answer.Status, 403) << "bert's own failure slows the name for a while";
  fNow += 16s;
  EXPECT_EQ(attempt("bert", "pw", "127.0.0.1").Status, 200);

  // Once the delay is over, the right password gets through and clears the account name.
  answer = attempt("anna", "pw", "127.0.0.1");
  EXPECT_EQ(answer.Status, 200);
  EXPECT_EQ(heldFor(answer), 0ms);
  EXPECT_EQ(attempt("anna", "pw", "127.0.0.1").Status, 200);
  EXPECT_EQ(attempt("anna", "guess", "127.0.0.1").HoldUntil - fNow, 500ms);
}

TEST_F(SMSCommandsTest, ParametersThatBreakTheirRulesGoNowhere) {
  const std::string pw = "&smspwd=" + digest("pw");
  const std::string anna = "smsusr=anna" + pw;
  struct TCase {
    const char* Name;
    std::string Target;
    int Status;
    std::string Body;
    std::string Sent = ""; // the text sent, "-" for none
  };
  const std::string longName(101, 'a');
  const TCase cases[] = {
      {"line break in the account name", "/sendsms?smsusr=anna%0D%0Aforged" + pw, 403, "401", "-"},
      {"NUL in the account name", "/getnewsms?smsusr=anna%00" + pw, 403, "401", "-"},
      {"ESC in the account name", "/getnewsms?smsusr=%1B%5B2Janna" + pw, 403, "401", "-"},
      {"account name over 100 characters", "/getnewsms?smsusr=" + longName + pw, 403, "401", "-"},
      {"account name of 100 characters", "/getnewsms?smsusr=" + longName.substr(1) + pw, 403, "401",
       "-"},
      {"NUL in the password", "/clearmemoryserialmodem?smsusr=admin&smspwd=a%00", 403, "401", "-"},
      {"password too long", "/getnewsms?smsusr=anna&smspwd=" + std::string(257, 'f'), 403, "401",
       "-"},
      {"line break in the receiver", "/sendsms?" + anna + "&receiver=4917%0D%0A1&message=Hi", 400,
       "400:HTTP-Parameter <receiver> holds control characters.", "-"},
      {"receiver too long",
       "/sendsms?" + anna + "&receiver=" + std::string(65, '4') + "&message=Hi", 400,
       "400:HTTP-Parameter <receiver> is too long.", "-"},
      {"ESC in the text", "/sendsms?" + anna + "&receiver=4917&message=a%1Bb", 400,
       "400:HTTP-Parameter <message> holds control characters.", "-"},
      {"NUL in the text", "/sendsms?" + anna + "&receiver=4917&message=a%00b", 400,
       "400:HTTP-Parameter <message> holds control characters.", "-"},
      {"NUL in a text from base64",
       "/sendsms?" + anna + "&receiver=4917&message=YQBi&coding=base64", 400,
       "400:HTTP-Parameter <message> holds control characters.", "-"},
      {"text too long", "/sendsms?" + anna + "&receiver=4917&message=" + std::string(4001, 'x'),
       400, "400:HTTP-Parameter <message> is too long.", "-"},
      {"control character in the type", "/sendsms?" + anna + "&receiver=4917&message=Hi&type=b%07",
       400, "400:HTTP-Parameter <type> holds control characters.", "-"},
      {"line breaks in a text are its lines",
       "/sendsms?" + anna + "&receiver=4917&message=a%0D%0Ab", 200, "200", "a\r\nb"},
      {"NUL in binary data from base64",
       "/sendsms?" + anna + "&receiver=4917&message=YQBi&coding=base64&type=bin", 200, "200",
       "610062"},
      {"control character in smspwdcoded", "/getnewsms?" + anna + "&smspwdcoded=true%0A", 400,
       "400:HTTP-Parameter <smspwdcoded> holds control characters.", "-"},
  };
  for (const TCase& c : cases) {
    fModem = TFakeSMSModem();
    fStore.CheckedUsers.clear();
    const std::size_t question = c.Target.find('?');
    const TWebResponse answer =
        run(request(c.Target.substr(0, question), c.Target.substr(question + 1)));
    EXPECT_EQ(answer.Status, c.Status) << c.Name;
    EXPECT_EQ(answer.Body, c.Body) << c.Name;
    std::string sent = "-";
    if (!fModem.Sent.empty()) {
      sent = fModem.Sent[0].Kind == "text" ? fModem.Sent[0].Text : fModem.Sent[0].DataHex;
    }
    EXPECT_EQ(sent, c.Sent) << c.Name;
    if (c.Status == 403) {
      const bool checked = !fStore.CheckedUsers.empty();
      EXPECT_EQ(checked, std::string(c.Name) == "account name of 100 characters")
          << c.Name << ": only a valid name is looked up";
    }
  }
}

TEST(SMSCommandsRequestDumpTest, ListsTheItemsInOrder) {
  EXPECT_EQ(describeWebRequest(nullptr), "Request is \"nil\"!");
  TWebRequest r = request("/x", "a=1");
  r.Headers = {{"User-Agent", "t"}};
  r.LocalPort = 8989;
  const std::string dump = describeWebRequest(&r);
  EXPECT_EQ(dump.rfind("Method=GET;ProtocolVersion=;URL=/x;Query=a=1;PathInfo=/x;", 0), 0u) << dump;
  EXPECT_NE(dump.find(";UserAgent=t;"), std::string::npos);
  EXPECT_NE(dump.find(";ServerPort=8989;InternalPathInfo=/x;InternalScriptName=;"),
            std::string::npos);
}

} // namespace
