#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "station/web/web_requests.h"
#include "station/web/web_state.h"

namespace {

const std::string TOKEN = "0123456789abcdef0123456789abcdef";

struct taken {
  std::string slot, serial;
};

// A station of two slots, "A" and "B", that records what it was given.
web_hooks station_hooks(std::vector<taken> *given) {
  web_hooks hooks;
  hooks.take_serial = [given](const std::string &slot, const std::string &serial,
                              std::string *why) {
    if (slot != "A" && slot != "B") {
      *why = "no slot is named " + slot;
      return false;
    }
    given->push_back({slot, serial});
    return true;
  };
  // Slot A's board ended in error; B's did not.
  hooks.retry_slot = [given](const std::string &slot, std::string *why) {
    if (slot != "A") {
      *why = "slot " + slot + " is not waiting for a retry";
      return false;
    }
    given->push_back({slot, "retry"});
    return true;
  };
  return hooks;
}

std::string serial_body(const std::string &slot, const std::string &serial,
                        const std::string &token) {
  return nlohmann::json{{"slot", slot}, {"serial", serial}, {"token", token}}.dump();
}

web_request serial_post(const std::string &body) {
  web_request request;
  request.method = "POST";
  request.target = "/serial";
  request.host = "127.0.0.1:8080";
  request.content_type = "application/json";
  request.body = body;
  request.from_loopback = true;
  return request;
}

// A request from another machine, over HTTPS or plain HTTP.
web_request from_afar(web_request r, bool over_tls) {
  r.from_loopback = false;
  r.over_tls = over_tls;
  return r;
}

TEST(WebRequests, ASerialIsTakenOnlyFromLoopbackWithTheToken) {
  struct {
    const char *what;
    web_request request;
    int status;
    bool taken;
  } cases[] = {
      {"loopback with token", serial_post(serial_body("B", "KV-1", TOKEN)), 200, true},
      {"charset in the type",
       [] {
         web_request r = serial_post(serial_body("B", "KV-1", TOKEN));
         r.content_type = "Application/JSON; charset=utf-8";
         return r;
       }(),
       200, true},
      {"another machine, right token",
       from_afar(serial_post(serial_body("B", "KV-1", TOKEN)), false), 403, false},
      {"another machine over HTTPS, right token",
       from_afar(serial_post(serial_body("B", "KV-1", TOKEN)), true), 200, true},
      {"another machine over HTTPS, wrong token",
       from_afar(serial_post(serial_body("B", "KV-1", std::string(32, '0'))), true), 403, false},
      {"no token", serial_post(R"({"slot":"B","serial":"KV-1"})"), 403, false},
      {"empty token", serial_post(serial_body("B", "KV-1", "")), 403, false},
      {"wrong token", serial_post(serial_body("B", "KV-1", "0123456789abcdef0123456789abcdee")),
       403, false},
      {"token cut short", serial_post(serial_body("B", "KV-1", TOKEN.substr(0, 31))), 403, false},
      {"token as a number", serial_post(R"({"slot":"B","serial":"KV-1","token":1})"), 403, false},
      // What a form on another site can send: form fields, no JSON.
      {"form post",
       [] {
         web_request r = serial_post("slot=B&serial=KV-1&token=" + TOKEN);
         r.content_type = "application/x-www-form-urlencoded";
         return r;
       }(),
       415, false},
      {"text/plain post",
       [] {
         web_request r = serial_post(serial_body("B", "KV-1", TOKEN));
         r.content_type = "text/plain";
         return r;
       }(),
       415, false},
      {"not JSON", serial_post("{slot"), 400, false},
      {"JSON array", serial_post("[1,2]"), 400, false},
      {"serial not a string", serial_post(R"({"slot":"B","serial":7,"token":")" + TOKEN + "\"}"),
       400, false},
      {"no slot", serial_post(R"({"serial":"KV-1","token":")" + TOKEN + "\"}"), 400, false},
      {"empty serial", serial_post(serial_body("B", "", TOKEN)), 400, false},
      {"65 characters", serial_post(serial_body("B", std::string(65, 'X'), TOKEN)), 400, false},
      {"line feed", serial_post(serial_body("B", "KV\n1", TOKEN)), 400, false},
      {"trailing space", serial_post(serial_body("B", "KV-1 ", TOKEN)), 400, false},
      {"unknown slot", serial_post(serial_body("Z", "KV-1", TOKEN)), 409, false},
      {"GET",
       [] {
         web_request r = serial_post("");
         r.method = "GET";
         return r;
       }(),
       405, false},
  };
  for (const auto &c : cases) {
    std::vector<taken> given;
    web_reply reply = web_handle(c.request, TOKEN, "{}", station_hooks(&given));
    EXPECT_EQ(c.status, reply.status) << c.what;
    ASSERT_EQ(c.taken ? 1u : 0u, given.size()) << c.what;
    if (c.taken) {
      EXPECT_EQ("B", given[0].slot) << c.what;
      EXPECT_EQ("KV-1", given[0].serial) << c.what;
    }
    nlohmann::json answer = nlohmann::json::parse(reply.body, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << c.what << ": " << reply.body;
    EXPECT_EQ(c.taken, answer.value("ok", !c.taken)) << c.what;
    if (!c.taken) {
      EXPECT_FALSE(answer.value("error", "").empty()) << c.what;
    }
  }
}

// A retry is an operator's request as a serial is: this machine, JSON, the
// token; and only for a slot that waits for one.
TEST(WebRequests, ARetryIsTakenOnlyForAHeldSlotWithTheToken) {
  auto retry = [](const std::string &body, bool loopback) {
    web_request r = serial_post(body);
    r.target = "/retry";
    r.from_loopback = loopback;
    return r;
  };
  auto body = [](const std::string &slot, const std::string &token) {
    return nlohmann::json{{"slot", slot}, {"token", token}}.dump();
  };
  const struct {
    const char *what;
    web_request request;
    int status;
  } cases[] = {
      {"held slot", retry(body("A", TOKEN), true), 200},
      {"slot not held", retry(body("B", TOKEN), true), 409},
      {"wrong token", retry(body("A", TOKEN.substr(1) + "0"), true), 403},
      {"another machine", retry(body("A", TOKEN), false), 403},
  };
  for (const auto &c : cases) {
    std::vector<taken> given;
    web_reply reply = web_handle(c.request, TOKEN, "{}", station_hooks(&given));
    EXPECT_EQ(c.status, reply.status) << c.what;
    EXPECT_EQ(c.status == 200 ? 1u : 0u, given.size()) << c.what;
  }
}

TEST(WebRequests, ASerialIsPassedOnAsTyped) {
  const std::string typed = "<img src=x onerror=alert(1)>'\"&";
  std::vector<taken> given;
  web_reply reply =
      web_handle(serial_post(serial_body("A", typed, TOKEN)), TOKEN, "{}", station_hooks(&given));
  EXPECT_EQ(200, reply.status);
  ASSERT_EQ(1u, given.size());
  EXPECT_EQ(typed, given[0].serial);
}

TEST(WebRequests, ThePageCarriesTheTokenOnlyToALoopbackPeerAndHost) {
  struct {
    const char *what;
    bool from_loopback;
    const char *host;
    bool token;
    bool over_tls;
  } cases[] = {
      {"this machine by address", true, "127.0.0.1:8080", true, false},
      {"this machine by name", true, "localhost:8080", true, false},
      {"this machine over IPv6", true, "[::1]:8080", true, false},
      {"another machine", false, "192.168.1.20:8080", false, false},
      {"another machine naming loopback", false, "127.0.0.1:8080", false, false},
      // A site whose name was made to point at 127.0.0.1.
      {"a foreign name on loopback", true, "evil.example:8080", false, false},
      {"no Host header", true, "", false, false},
      {"another machine over HTTPS", false, "station-3.line:8443", true, true},
  };
  for (const auto &c : cases) {
    web_request request;
    request.method = "GET";
    request.target = "/";
    request.host = c.host;
    request.from_loopback = c.from_loopback;
    request.over_tls = c.over_tls;
    web_reply reply = web_handle(request, TOKEN, "{}", web_hooks());
    EXPECT_EQ(200, reply.status) << c.what;
    EXPECT_EQ("text/html; charset=utf-8", reply.content_type) << c.what;
    EXPECT_EQ(c.token, reply.body.find(TOKEN) != std::string::npos) << c.what;
    EXPECT_EQ(c.token, web_entry_allowed(request)) << c.what;
    EXPECT_EQ(std::string::npos, reply.body.find("@TOKEN@")) << c.what;
    EXPECT_NE(std::string::npos, reply.body.find("name=\"korvane-token\"")) << c.what;
  }
}

TEST(WebRequests, Routes) {
  struct {
    const char *method, *target;
    int status;
    const char *content_type;
  } cases[] = {
      {"GET", "/", 200, "text/html; charset=utf-8"},
      {"GET", "/?reload=1", 200, "text/html; charset=utf-8"},
      {"HEAD", "/", 200, "text/html; charset=utf-8"},
      {"GET", "/style.css", 200, "text/css; charset=utf-8"},
      {"GET", "/script.js", 200, "text/javascript; charset=utf-8"},
      {"GET", "/api/slots", 200, "application/json"},
      {"POST", "/api/slots", 405, "text/plain; charset=utf-8"},
      {"DELETE", "/", 405, "text/plain; charset=utf-8"},
      {"GET", "/favicon.ico", 404, "text/plain; charset=utf-8"},
      {"GET", "/../etc/passwd", 404, "text/plain; charset=utf-8"},
      {"GET", "/web_page.html", 404, "text/plain; charset=utf-8"},
  };
  for (const auto &c : cases) {
    web_request request;
    request.method = c.method;
    request.target = c.target;
    request.host = "127.0.0.1";
    request.from_loopback = true;
    web_reply reply = web_handle(request, TOKEN, R"({"slots":[]})", web_hooks());
    EXPECT_EQ(c.status, reply.status) << c.method << " " << c.target;
    EXPECT_EQ(c.content_type, reply.content_type) << c.method << " " << c.target;
    if (std::string(c.target) == "/api/slots" && c.status == 200) {
      EXPECT_EQ(R"({"slots":[]})", reply.body);
    }
  }
}

TEST(WebRequests, ASerialWithoutAStationToTakeItIsRefused) {
  web_reply reply = web_handle(serial_post(serial_body("A", "KV-1", TOKEN)), TOKEN, "{}", {});
  EXPECT_EQ(503, reply.status);
}

TEST(WebRequests, TokensDifferAndAre128BitsOfHex) {
  std::string first = web_new_token();
  std::string second = web_new_token();
  EXPECT_EQ(32u, first.size());
  EXPECT_EQ(std::string::npos, first.find_first_not_of("0123456789abcdef"));
  EXPECT_NE(first, second);
}

TEST(WebState, JsonHoldsEverySlotAndTheCounts) {
  web_header header{"line 3", 10, 6, 2};
  header.slot_errors = 3;
  header.first_pass_yield = 75;
  header.final_yield = 87.5;
  web_slot running;
  running.name = "A";
  running.port = "/dev/ttyUSB0";
  running.serial = "<b>KV-1</b>";
  running.phase = "downloading";
  running.percent = 42;
  running.elapsed = 3.5;
  running.busy = true;
  web_slot failed;
  failed.name = "B\xff";  // not UTF-8: replaced, never a broken document
  failed.port = "/dev/ttyUSB1";
  failed.phase = "waiting for a board";
  failed.pass = 3;
  failed.passes = 10;
  failed.verdict = "FAIL";
  failed.detail = "data line 5 stuck at 1";
  failed.serial = "KV-7";
  failed.next_serial = "KV-8";
  failed.ended = "2026-12-09T10:42:00Z";

  nlohmann::json state =
      nlohmann::json::parse(web_state_json(header, {running, failed}, 1765279332000LL));
  EXPECT_EQ("line 3", state["station"]);
  EXPECT_EQ(10, state["tested"]);
  EXPECT_EQ(6, state["passed"]);
  EXPECT_EQ(2, state["failed"]);
  EXPECT_EQ(3, state["slot_errors"]);
  EXPECT_DOUBLE_EQ(0.75, state["yield"].get<double>());
  EXPECT_DOUBLE_EQ(0.875, state["final_yield"].get<double>());
  EXPECT_EQ(1765279332000LL, state["time_ms"]);
  ASSERT_EQ(2u, state["slots"].size());
  const nlohmann::json &a = state["slots"][0];
  EXPECT_EQ("A", a["slot"]);
  EXPECT_EQ("/dev/ttyUSB0", a["port"]);
  EXPECT_EQ("<b>KV-1</b>", a["serial"]);
  EXPECT_EQ("downloading", a["phase"]);
  EXPECT_EQ(42, a["percent"]);
  EXPECT_EQ(0, a["pass"]);
  EXPECT_DOUBLE_EQ(3.5, a["seconds"].get<double>());
  EXPECT_EQ(true, a["busy"]);
  EXPECT_EQ("", a["verdict"]);
  const nlohmann::json &b = state["slots"][1];
  EXPECT_EQ("B\xef\xbf\xbd", b["slot"]);
  EXPECT_EQ(3, b["pass"]);
  EXPECT_EQ(10, b["passes"]);
  EXPECT_EQ(-1, b["percent"]);
  EXPECT_EQ("FAIL", b["verdict"]);
  EXPECT_EQ("data line 5 stuck at 1", b["detail"]);
  EXPECT_EQ("KV-7", b["serial"]);
  EXPECT_EQ("KV-8", b["next_serial"]);
  EXPECT_EQ("2026-12-09T10:42:00Z", b["ended"]);

  nlohmann::json empty = nlohmann::json::parse(web_state_json({}, {}, 0));
  EXPECT_TRUE(empty["yield"].is_null());
  EXPECT_TRUE(empty["final_yield"].is_null());
  EXPECT_TRUE(empty["slots"].is_array());
}

}  // namespace
