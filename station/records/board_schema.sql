-- The station's database. `boards` is a stable interface: columns are only
-- ever added. Times are UTC, ISO 8601 with a Z.
PRAGMA journal_mode = WAL;
PRAGMA synchronous = FULL;
CREATE TABLE IF NOT EXISTS boards (
  id INTEGER PRIMARY KEY,
  serial TEXT,
  slot TEXT NOT NULL,
  port TEXT NOT NULL,
  station TEXT NOT NULL,
  operator TEXT,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  seconds REAL NOT NULL,
  outcome TEXT NOT NULL CHECK (outcome IN ('passed', 'failed', 'error', 'interrupted')),
  sdram_passes INTEGER NOT NULL DEFAULT 0,
  sdram_failed INTEGER NOT NULL DEFAULT 0,
  flash_passes INTEGER NOT NULL DEFAULT 0,
  flash_failed INTEGER NOT NULL DEFAULT 0,
  diagnosis TEXT,
  diagnosis_json TEXT,
  korvane_status INTEGER,
  message TEXT,
  log TEXT,
  uid TEXT,
  release TEXT,
  attempts_checked TEXT
);
-- One row per fault the diagnosis named, so that the faults that keep
-- coming back can be counted across boards without reading the JSON.
CREATE TABLE IF NOT EXISTS board_faults (
  board_id INTEGER NOT NULL REFERENCES boards(id),
  test TEXT NOT NULL,
  kind TEXT NOT NULL,
  words TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS boards_by_serial ON boards(serial, started);
CREATE INDEX IF NOT EXISTS boards_by_started ON boards(started);
CREATE INDEX IF NOT EXISTS board_faults_by_board ON board_faults(board_id);
-- The records that wait for the line server, oldest first: an entry is made
-- with its board's row and removed once the line has acknowledged it. A
-- record the line refused stays here, parked, with the line's reason.
CREATE TABLE IF NOT EXISTS outbox (
  board_id INTEGER PRIMARY KEY REFERENCES boards(id),
  state TEXT NOT NULL DEFAULT 'waiting' CHECK (state IN ('waiting', 'parked')),
  queued TEXT NOT NULL,
  reason TEXT
);
