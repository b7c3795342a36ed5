#include "station/web/web_requests.h"

#include <random>

#include <nlohmann/json.hpp>

#include "station/terminal/serial_rules.h"
#include "station/web/web_address.h"
#include "station/web/web_assets.h"

namespace {

// The page's marker that the token replaces; the served page carries an empty
// one when serial entry is not allowed.
const char TOKEN_MARK[] = "@TOKEN@";

web_reply text_reply(int status, const std::string &text) {
  return {status, "text/plain; charset=utf-8", text + "\n"};
}

web_reply json_reply(int status, const nlohmann::json &document) {
  return {status, "application/json",
          document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

web_reply error_reply(int status, const std::string &reason) {
  return json_reply(status, {{"ok", false}, {"error", reason}});
}

// Compares without stopping at the first difference, so that the time of a
// refusal does not tell how much of a guessed token was right.
bool same_token(const std::string &given, const std::string &token) {
  if (given.size() != token.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < token.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  }
  return difference == 0;
}

std::string page(const std::string &token) {
  std::string html(web_page_html, web_page_html_size);
  std::size_t mark = html.find(TOKEN_MARK);
  if (mark != std::string::npos) html.replace(mark, sizeof TOKEN_MARK - 1, token);
  return html;
}

std::string media_type(const std::string &content_type) {
  std::string type = content_type.substr(0, content_type.find(';'));
  while (!type.empty() && type.back() == ' ') type.pop_back();
  for (char &c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return type;
}

const std::string *string_member(const nlohmann::json &document, const char *name) {
  auto found = document.find(name);
  if (found == document.end() || !found->is_string()) return nullptr;
  return found->get_ptr<const std::string *>();
}

// An operator's request from the page: from this machine (or over HTTPS),
// as JSON, with this run's token. False with the reply when it is none.
bool operator_request(const web_request &request, const std::string &token, const char *what,
                      nlohmann::json *document, web_reply *refusal) {
  if (!request.from_loopback && !request.over_tls) {
    *refusal = error_reply(403, std::string(what) + " taken only from this machine");
    return false;
  }
  // A form on another site can post form fields but not JSON without the
  // browser asking first, and it cannot read the token from our page.
  if (media_type(request.content_type) != "application/json") {
    *refusal = error_reply(415, std::string(what) + " posted as application/json");
    return false;
  }
  *document = nlohmann::json::parse(request.body, nullptr, false);
  if (document->is_discarded() || !document->is_object()) {
    *refusal = error_reply(400, "the request is not a JSON object");
    return false;
  }
  const std::string *given = string_member(*document, "token");
  if (!given || !same_token(*given, token)) {
    *refusal = error_reply(403, "the request does not carry this run's token");
    return false;
  }
  return true;
}

web_reply take_serial(const web_request &request, const std::string &token,
                      const web_hooks &hooks) {
  nlohmann::json document;
  web_reply refusal;
  if (!operator_request(request, token, "serial numbers are", &document, &refusal)) return refusal;
  const std::string *slot = string_member(document, "slot");
  const std::string *serial = string_member(document, "serial");
  if (!slot || !serial) return error_reply(400, "the request names no slot or no serial");
  std::string why;
  if (!serial_is_acceptable(*serial, &why)) return error_reply(400, why);
  if (!hooks.take_serial) return error_reply(503, "this station takes no serial numbers");
  if (!hooks.take_serial(*slot, *serial, &why)) return error_reply(409, why);
  return json_reply(200, {{"ok", true}});
}

web_reply retry_slot(const web_request &request, const std::string &token, const web_hooks &hooks) {
  nlohmann::json document;
  web_reply refusal;
  if (!operator_request(request, token, "retries are", &document, &refusal)) return refusal;
  const std::string *slot = string_member(document, "slot");
  if (!slot) return error_reply(400, "the request names no slot");
  std::string why;
  if (!hooks.retry_slot) return error_reply(503, "this station takes no retries");
  if (!hooks.retry_slot(*slot, &why)) return error_reply(409, why);
  return json_reply(200, {{"ok", true}});
}

}  // namespace

bool web_entry_allowed(const web_request &request) {
  return request.over_tls || (request.from_loopback && web_host_is_loopback(request.host));
}

web_reply web_handle(const web_request &request, const std::string &token,
                     const std::string &state_json, const web_hooks &hooks) {
  std::string path = request.target.substr(0, request.target.find('?'));
  bool get = request.method == "GET" || request.method == "HEAD";
  if (path == "/serial") {
    if (request.method != "POST") return error_reply(405, "use POST");
    return take_serial(request, token, hooks);
  }
  if (path == "/retry") {
    if (request.method != "POST") return error_reply(405, "use POST");
    return retry_slot(request, token, hooks);
  }
  if (path == "/" || path == "/style.css" || path == "/script.js" || path == "/api/slots") {
    if (!get) return text_reply(405, "use GET");
  }
  if (path == "/") {
    return {200, "text/html; charset=utf-8", page(web_entry_allowed(request) ? token : "")};
  }
  if (path == "/style.css") {
    return {200, "text/css; charset=utf-8", std::string(web_page_css, web_page_css_size)};
  }
  if (path == "/script.js") {
    return {200, "text/javascript; charset=utf-8", std::string(web_page_js, web_page_js_size)};
  }
  if (path == "/api/slots") return {200, "application/json", state_json};
  return text_reply(404, "not found");
}

std::string web_new_token() {
  std::random_device device;
  const char digits[] = "0123456789abcdef";
  std::string token;
  for (int word = 0; word < 4; ++word) {
    unsigned long bits = device();
    for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4) token += digits[bits & 0xF];
  }
  return token;
}
