-- The station's database. `boards` and `board_faults` are made from the
-- columns board_row.cpp lists, before this runs; `boards` is a stable
-- interface: columns are only ever added. Times are UTC, ISO 8601 with a Z.
-- `board_faults` holds one row per fault the diagnosis named, so that the
-- faults that keep coming back can be counted across boards without
-- reading the JSON.
PRAGMA journal_mode = WAL;
PRAGMA synchronous = FULL;
-- The records that wait for the line server, oldest first: an entry is made
-- with its board's row and removed once the line has acknowledged it. A
-- record the line refused stays here, parked, with the line's reason.
CREATE TABLE IF NOT EXISTS outbox (
  board_id INTEGER PRIMARY KEY REFERENCES boards(id),
  state TEXT NOT NULL DEFAULT 'waiting' CHECK (state IN ('waiting', 'parked')),
  queued TEXT NOT NULL,
  reason TEXT
);
