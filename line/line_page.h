// The line page: every station, its slots live as on the station's own page,
// its yield of the day, its outbox backlog and when it was last heard from.
// View-only; it follows /events (Server-Sent Events of /api/v1/line's
// document) and builds everything with textContent, never as markup.
#pragma once

extern const char LINE_PAGE_HTML[];
