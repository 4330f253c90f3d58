-- Database of a Vexa ARP program folder (VexaArp.mdb, an SQLite 3 file).
-- Both programs open it; neither creates it. scripts/make-program-folder.sh
-- runs this file once on a new, empty database.

PRAGMA journal_mode = WAL;

-- The schema's version. A change below raises it and comes with the step that
-- makes the same change on an older file (common/db/schema_upgrade.cpp),
-- which the programs run when they open one.
PRAGMA user_version = 2;

-- The collector's settings: the first record is the one used.
CREATE TABLE Settings_General (
  ID              INTEGER PRIMARY KEY,
  DebugMode       INTEGER,  -- 0/1: write the trace files of the Debug folder
  RouterList      TEXT,     -- router addresses, one per line, CR LF between lines
  GetComm         TEXT,     -- SNMP community
  TimeOut         INTEGER,  -- seconds to wait for one response (16-bit)
  Retries         INTEGER,  -- re-sends allowed per router walk (16-bit)
  CheckInterval   INTEGER,  -- seconds between the starts of two polls (32-bit)
  SaveOnlyDynamic INTEGER,  -- 0/1: store only dynamic ARP entries
  DnsCheck        INTEGER,  -- 0/1: resolve names for the export
  StopTime        TEXT,     -- "YYYY-MM-DD HH:MM": polling ends after this minute
  -- Schema version 1: how the routers are asked.
  SnmpVersion     INTEGER NOT NULL DEFAULT 2,       -- 1: SNMPv1, 2: SNMPv2c, 3: SNMPv3
  UseBulk         INTEGER NOT NULL DEFAULT 0,       -- 0/1: GETBULK (SNMPv2c and v3)
  MaxRepetitions  INTEGER NOT NULL DEFAULT 25,      -- rows asked per GETBULK (1 to 1000)
  NeighbourTable  INTEGER NOT NULL DEFAULT 0,       -- 0: ipNetToMediaTable, 1: ipNetToPhysicalTable first
  V3User          TEXT    NOT NULL DEFAULT '',      -- SNMPv3 user name
  V3AuthProtocol  TEXT    NOT NULL DEFAULT 'none',  -- none, MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512
  V3AuthPassword  TEXT    NOT NULL DEFAULT '',
  V3PrivProtocol  TEXT    NOT NULL DEFAULT 'none',  -- none, DES, AES (AES-128), AES-192, AES-256
  V3PrivPassword  TEXT    NOT NULL DEFAULT '',
  V3Context       TEXT    NOT NULL DEFAULT '',      -- SNMPv3 context name; empty: the default context
  -- Schema version 2: history, walks side by side, metrics.
  HistoryDays     INTEGER NOT NULL DEFAULT 400,     -- days of history kept; 0: no history, no events
  QuietDays       INTEGER NOT NULL DEFAULT 180,     -- a pairing unseen this long is new activity again
  EventCommand    TEXT    NOT NULL DEFAULT '',      -- program given each cycle's events (JSON Lines); empty: none
  ParallelWalks   INTEGER NOT NULL DEFAULT 1,       -- routers walked at once (1 to 25)
  MetricsFile     TEXT    NOT NULL DEFAULT ''       -- Prometheus text file replaced after every cycle; empty: none
);

-- What the collector has learnt: one record per IP address.
CREATE TABLE ArpTable (
  IpAddr    TEXT NOT NULL,
  MacAddr   TEXT,
  Type      INTEGER,
  IfIndex   INTEGER,
  SeenTimes INTEGER,
  DnsName   TEXT
);
CREATE UNIQUE INDEX ArpTable_IpAddr ON ArpTable (IpAddr);

-- Every (IP address, MAC address) pairing the collector has seen, kept across
-- jobs. Times are UTC seconds. IpKey is the address as 4 or 16 octets in
-- network order, for searches by prefix. IsCurrent marks the IP address's
-- latest MAC address; MissedWalks counts the consecutive walks of Router that
-- ended normally without the pairing.
CREATE TABLE ArpHistory (
  IpAddr      TEXT    NOT NULL,
  MacAddr     TEXT    NOT NULL,
  IpKey       BLOB    NOT NULL,
  Router      TEXT    NOT NULL,
  IfIndex     INTEGER NOT NULL,
  FirstSeen   INTEGER NOT NULL,
  LastSeen    INTEGER NOT NULL,
  Cycles      INTEGER NOT NULL,
  IsCurrent   INTEGER NOT NULL DEFAULT 0,
  MissedWalks INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (IpAddr, MacAddr)
);
CREATE INDEX ArpHistory_MacAddr ON ArpHistory (MacAddr);
CREATE INDEX ArpHistory_IpKey ON ArpHistory (IpKey);
CREATE INDEX ArpHistory_LastSeen ON ArpHistory (LastSeen);

-- The changes the collector found, oldest first. Kind: new_ip, mac_changed,
-- flip_flop, reused_mac, new_activity, moved, gone. Delivered is 0 for a
-- change recorded but held back (a flip flop within a day of the last one).
CREATE TABLE ArpEvent (
  ID          INTEGER PRIMARY KEY,
  Time        INTEGER NOT NULL,
  Kind        TEXT    NOT NULL,
  IpAddr      TEXT    NOT NULL,
  MacAddr     TEXT    NOT NULL,
  OldMacAddr  TEXT    NOT NULL DEFAULT '',
  Router      TEXT    NOT NULL,
  IfIndex     INTEGER NOT NULL,
  Delivered   INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX ArpEvent_Time ON ArpEvent (Time);
-- The last flip flop of an address, looked up at every flip flop.
CREATE INDEX ArpEvent_IpAddr ON ArpEvent (IpAddr, Time);

-- Built-in defaults: no router yet, community "public", five seconds per
-- request, two re-sends, a poll every five minutes, names resolved, and a stop
-- time at the next full hour a day from now.
INSERT INTO Settings_General
  (DebugMode, RouterList, GetComm, TimeOut, Retries, CheckInterval,
   SaveOnlyDynamic, DnsCheck, StopTime)
VALUES
  (0, '', 'public', 5, 2, 300, 0, 1,
   strftime('%Y-%m-%d %H:00', 'now', 'localtime', '+1 day', '+1 hour'));
