#include "server/GatewayStatus.h"

#include "common/UniCodeTools.h"
#include "server/Accounts.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace {

using EAccess = IGatewayStatusSource::EAccess;

TGatewayStatusSnapshot fullStatus() {
  TGatewayStatusSnapshot status;
  status.Version = "0.1";
  status.UptimeSeconds = 12.5;
  status.Modem = {true, "ACME", "M1", "12345", "/dev/parlino/COM3", 21, 99, 1, 2, 10};
  status.DatabaseConnected = true;
  status.Reconnections = 3;
  status.Sent = 4;
  status.SendFailures = 1;
  status.Received = 7;
  status.DecodeErrors = 2;
  status.Requests = {{"/getnewsms", 201, 5}, {"/sendsms", 200, 4}, {"other", 501, 1}};
  status.Unread = std::vector<TUnreadCount>{{2, "anna", 1}, {5, "q\"uo\\te\nline", 2}};
  status.LastSend = TDateTime::encode(2026, 3, 4, 5, 6, 7, 89);
  return status;
}

// promtool's verdict on a metrics text: its exit code and what it printed; skipped (-1) when
// it is not installed.
int promtoolCheck(const std::string& aText, std::string& aOutput) {
  if (std::system("command -v promtool >/dev/null 2>&1") != 0) {
    return -1;
  }
  testsupport::TTempDir dir;
  testsupport::writeFile(dir.file("metrics.txt"), aText);
  const std::string command =
      "promtool check metrics < " + dir.file("metrics.txt") + " > " + dir.file("out.txt") + " 2>&1";
  const int status = std::system(command.c_str());
  aOutput = testsupport::readFile(dir.file("out.txt"));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

TEST(GatewayStatusTest, TheJSONDocumentShowsEveryPartAndNullForWhatIsNotKnown) {
  const auto full = nlohmann::json::parse(gatewayStatusJSON(fullStatus()));
  EXPECT_EQ(full["version"], "0.1");
  EXPECT_EQ(full["uptimeSeconds"], 12.5);
  EXPECT_EQ(full["modem"],
            nlohmann::json::parse(R"({"active":true,"manufacturer":"ACME","model":"M1",
                "serialNumber":"12345","port":"/dev/parlino/COM3",
                "signal":{"rssi":21,"dbm":-71,"bitErrorRate":99},
                "registration":{"status":1,"text":"registered, home network"},
                "storage":{"used":2,"total":10}})"));
  EXPECT_EQ(full["database"], nlohmann::json::parse(R"({"connected":true,"reconnections":3})"));
  EXPECT_EQ(full["counts"]["sent"], 4);
  EXPECT_EQ(full["counts"]["sendFailures"], 1);
  EXPECT_EQ(full["counts"]["received"], 7);
  EXPECT_EQ(full["counts"]["decodeErrors"], 2);
  EXPECT_EQ(full["counts"]["httpRequests"][1],
            nlohmann::json::parse(R"({"command":"/sendsms","status":200,"count":4})"));
  EXPECT_EQ(full["unread"][1]["account"], "q\"uo\\te\nline");
  EXPECT_EQ(full["lastSend"], "2026-03-04T05:06:07.089Z");
  EXPECT_TRUE(full["lastReceive"].is_null());

  TGatewayStatusSnapshot bare;
  bare.Modem.SignalQuality = 99; // the modem does not know its signal
  const auto unknown = nlohmann::json::parse(gatewayStatusJSON(bare));
  for (const char* part : {"signal", "registration", "storage"}) {
    EXPECT_TRUE(unknown["modem"][part].is_null()) << part;
  }
  EXPECT_TRUE(unknown["unread"].is_null()) << "the database could not be read";
  EXPECT_TRUE(unknown["counts"]["httpRequests"].empty());
}

TEST(GatewayStatusTest, TheMetricsAreInThePrometheusTextFormat) {
  const std::string text = gatewayStatusMetrics(fullStatus());
  for (const char* line : {
           "parlino_info{version=\"0.1\"} 1\n",
           "parlino_uptime_seconds 12.5\n",
           "# TYPE parlino_sms_sent_total counter\nparlino_sms_sent_total 4\n",
           "parlino_modem_info{manufacturer=\"ACME\",model=\"M1\",serial_number=\"12345\","
           "port=\"/dev/parlino/COM3\"} 1\n",
           "parlino_modem_signal_dbm -71\n",
           "parlino_modem_registration_status 1\n",
           "parlino_modem_storage_used_messages 2\n",
           "parlino_database_connected 1\n",
           "parlino_database_reconnections_total 3\n",
           "parlino_http_requests_total{command=\"/getnewsms\",status=\"201\"} 5\n",
           "parlino_sms_unread{account=\"q\\\"uo\\\\te\\nline\",account_id=\"5\"} 2\n",
           "parlino_last_send_timestamp_seconds 1772600767.089\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_EQ(text.find("parlino_last_receive"), std::string::npos);

  TGatewayStatusSnapshot bare;
  const std::string little = gatewayStatusMetrics(bare);
  EXPECT_EQ(little.find("signal"), std::string::npos);
  EXPECT_EQ(little.find("parlino_sms_unread"), std::string::npos);

  for (const std::string& metrics : {text, little}) {
    std::string output;
    const int verdict = promtoolCheck(metrics, output);
    if (verdict < 0) {
      GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    }
    EXPECT_EQ(verdict, 0) << output << "\n" << metrics;
  }
}

// A source that knows one administrator and one client, and can lose its database.
class TFakeSource : public IGatewayStatusSource {
public:
  bool Available = true;
  int Snapshots = 0;
  EAccess checkAdministrator(const std::string& aUser, const std::string& aPassword,
                             bool aIsMD5) override {
    if (!Available) {
      return EAccess::Unavailable;
    }
    const std::string digest = aIsMD5 ? aPassword : encodeMD5(aPassword);
    return aUser == "admin" && digest == encodeMD5("secret") ? EAccess::Administrator
                                                             : EAccess::Refused;
  }
  TGatewayStatusSnapshot statusSnapshot() override {
    ++Snapshots;
    return fullStatus();
  }
};

TWebRequest statusRequest(const std::string& aPath, const std::string& aQuery,
                          const std::string& aAuthorization = {}) {
  TWebRequest request;
  request.Method = "GET";
  request.Path = aPath;
  request.QueryFields = parseWebFormFields(aQuery);
  if (!aAuthorization.empty()) {
    request.Headers.push_back({"Authorization", aAuthorization});
  }
  return request;
}

TEST(GatewayHealthTest, OnlyAnAdministratorSeesTheStatus) {
  TFakeSource source;
  TGatewayHealth health(source);
  const std::string admin = "smsusr=admin&smspwd=" + encodeMD5("secret");
  const std::string basic = "Basic " + encodeBase64Bytes("admin:secret");
  struct TCase {
    const char* Name;
    TWebRequest Request;
    int Status;
  };
  const TCase cases[] = {
      {"digest", statusRequest("/status", admin), 200},
      {"metrics in any case", statusRequest("/Metrics", admin), 200},
      {"plain password", statusRequest("/status", "smsusr=admin&smspwd=secret&smspwdcoded=false"),
       200},
      {"basic authentication", statusRequest("/metrics", "", basic), 200},
      {"no account", statusRequest("/status", ""), 403},
      {"plain password taken as digest", statusRequest("/status", "smsusr=admin&smspwd=secret"),
       403},
      {"a client account", statusRequest("/status", "smsusr=anna&smspwd=" + encodeMD5("pw")), 403},
      {"wrong basic password",
       statusRequest("/status", "", "Basic " + encodeBase64Bytes("admin:wrong")), 403},
      {"basic without a colon", statusRequest("/status", "", "Basic " + encodeBase64Bytes("x")),
       403},
  };
  for (const TCase& c : cases) {
    TWebResponse response;
    EXPECT_TRUE(health.dispatch(c.Request, response)) << c.Name;
    EXPECT_EQ(response.Status, c.Status) << c.Name;
    if (c.Status == 403) {
      EXPECT_EQ(response.Body, "") << c.Name;
    }
  }
  EXPECT_EQ(source.Snapshots, 4) << "nothing is gathered for a refusal";

  TWebResponse json;
  health.dispatch(statusRequest("/status", admin), json);
  EXPECT_EQ(json.ContentType, "application/json; charset=utf-8");
  EXPECT_EQ(nlohmann::json::parse(json.Body)["modem"]["model"], "M1");
  TWebResponse metrics;
  health.dispatch(statusRequest("/metrics", admin), metrics);
  EXPECT_EQ(metrics.ContentType, "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_EQ(metrics.Body, gatewayStatusMetrics(fullStatus()));
  TWebResponse other;
  EXPECT_FALSE(health.dispatch(statusRequest("/sendsms", admin), other));
}

// Without a database the accounts cannot be read: credentials that passed before are still
// taken, so monitoring goes on through an outage; others are not.
TEST(GatewayHealthTest, CredentialsThatPassedBeforeAreTakenWhileTheDatabaseIsAway) {
  TFakeSource source;
  TGatewayHealth health(source);
  const std::string admin = "smsusr=admin&smspwd=" + encodeMD5("secret");
  const auto status = [&](const std::string& aQuery) {
    TWebResponse response;
    health.dispatch(statusRequest("/metrics", aQuery), response);
    return response.Status;
  };
  source.Available = false;
  EXPECT_EQ(status(admin), 403) << "never seen before";
  source.Available = true;
  EXPECT_EQ(status(admin), 200);
  source.Available = false;
  EXPECT_EQ(status(admin), 200);
  EXPECT_EQ(status("smsusr=admin&smspwd=" + encodeMD5("other")), 403);
  source.Available = true;
  EXPECT_EQ(status("smsusr=admin&smspwd=" + encodeMD5("secret2")), 403);
  source.Available = false;
  EXPECT_EQ(status(admin), 403) << "a refusal forgets what passed";
}

} // namespace
