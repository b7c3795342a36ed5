// The line's stations as its page shows them: each station named in the
// tokens file, its slots as its last heartbeat gave them, its outbox backlog,
// when it was last heard from, and its yield of the day from the records
// stored. Held in memory, safe from any thread.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "line/line_store.h"
#include "line/line_tokens.h"

// A station not heard from for this long (three heartbeats) is shown silent.
constexpr double LINE_SILENT_S = 9;

struct line_stations;

line_stations *line_stations_new(const std::vector<line_token> &tokens, line_store *store);
void line_stations_free(line_stations *stations);

// A heartbeat from station: {"waiting", "parked", "release", "state"}.
void line_stations_heard(line_stations *stations, const std::string &station,
                         const nlohmann::json &beat);

// A record stored: the day's counts of its station.
void line_stations_stored(line_stations *stations, const board_record &board);

// The page's document: {"time_ms", "stations": [{"station", "heard_s" (null
// when never), "silent", "waiting", "parked", "release", "tested", "passed",
// "failed", "yield" (null before a board), "state" (the station's page
// state, or null)}]}.
std::string line_stations_json(line_stations *stations);
