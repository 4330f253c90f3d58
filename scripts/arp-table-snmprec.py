#!/usr/bin/env python3
"""Prints an snmpsim data file (.snmprec) serving a generated ARP table
(ipNetToMediaTable) of ROWS entries: addresses from FIRST_ADDRESS on, two
interfaces, every fifth entry static (type 4), the rest dynamic (3).

    arp-table-snmprec.py ROWS [FIRST_ADDRESS]      (default 192.0.2.1)
"""
import ipaddress
import sys


def main():
    rows = int(sys.argv[1])
    first = ipaddress.IPv4Address(sys.argv[2] if len(sys.argv) > 2 else "192.0.2.1")
    entries = []
    for i in range(rows):
        ip = first + i
        entries.append((1 + i % 2, ip, "0200%08x" % (i + 1), 4 if i % 5 == 4 else 3))
    entries.sort(key=lambda e: (e[0], e[1]))
    out = ["1.3.6.1.2.1.1.1.0|4|Vexa ARP simulated router"]
    for column in (1, 2, 3, 4):
        for if_index, ip, mac, kind in entries:
            oid = "1.3.6.1.2.1.4.22.1.%d.%d.%s" % (column, if_index, ip)
            value = {1: "2|%d" % if_index, 2: "4x|" + mac, 3: "64|%s" % ip, 4: "2|%d" % kind}[column]
            out.append(oid + "|" + value)
    out.append("1.3.6.1.2.1.4.23.0|65|0")
    print("\n".join(out))


if __name__ == "__main__":
    main()
