// The head of a Server-Sent Events stream as both servers send it: no
// caching, the connection closed when the stream ends, and how soon a
// browser retries a stream that ended.
#pragma once

inline constexpr char SERVE_EVENTS_HEAD[] =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Connection: close\r\n"
    "\r\n"
    "retry: 1000\n\n";
