// The address the web page is served on, as --web takes it: "[ADDR:]PORT",
// where ADDR is an IPv4 address, an IPv6 address in brackets or "localhost",
// and is 127.0.0.1 when left out, so that nothing is reachable from another
// machine unless the operator names an address that is.
#pragma once

#include <string>

struct web_address {
  std::string host;  // an IP address, without brackets
  unsigned short port = 0;
};

// Splits and checks the text (the port may be 0: any free port). False with
// the reason in *why when it is not of that form.
bool web_parse_address(const std::string &text, web_address *address, std::string *why);

// How to open the page at that address, for the station to print:
// "http://127.0.0.1:8080/", "http://[::1]:8080/"; https:// when it is served
// over TLS.
std::string web_address_url(const web_address &address, bool tls = false);

// True when a request's Host header names this machine's loopback interface
// (localhost, 127.x.x.x, [::1], with or without a port). The page carries the
// token only to such a host, so that a site whose name was made to point at
// 127.0.0.1 cannot read it.
bool web_host_is_loopback(const std::string &host_header);
