-- The database of the second release (schema version 1), kept as it shipped:
-- upgrade tests open a file made from it.

PRAGMA journal_mode = WAL;

-- The schema's version. A change below raises it and comes with the step that
-- makes the same change on an older file (common/db/schema_upgrade.cpp),
-- which the programs run when they open one.
PRAGMA user_version = 1;

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
  V3Context       TEXT    NOT NULL DEFAULT ''       -- SNMPv3 context name; empty: the default context
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

-- Built-in defaults: no router yet, community "public", five seconds per
-- request, two re-sends, a poll every five minutes, names resolved, and a stop
-- time at the next full hour a day from now.
INSERT INTO Settings_General
  (DebugMode, RouterList, GetComm, TimeOut, Retries, CheckInterval,
   SaveOnlyDynamic, DnsCheck, StopTime)
VALUES
  (0, '', 'public', 5, 2, 300, 0, 1,
   strftime('%Y-%m-%d %H:00', 'now', 'localtime', '+1 day', '+1 hour'));
