// Every file of the collector, named from the program folder in one place.
#pragma once

#include <string>

namespace vexa {

struct ProgramFiles {
  explicit ProgramFiles(const std::string& program_folder)
      : folder(program_folder),
        database(folder + "/VexaArp.mdb"),
        export_list(folder + "/ArpList.txt"),
        debug_folder(folder + "/Debug"),
        app_event(debug_folder + "/AppEvent.txt"),
        app_event2(debug_folder + "/AppEvent2.txt"),
        snmp(debug_folder + "/Snmp.txt"),
        snmp_null_values(debug_folder + "/Snmp-snmpNullValues.txt"),
        snmp_error(debug_folder + "/Snmp-snmpError.txt"),
        services(debug_folder + "/Services.txt"),
        tim_res(debug_folder + "/TimRes.txt"),
        arp_table(debug_folder + "/ArpTable.txt") {}

  std::string folder;
  std::string database;     // VexaArp.mdb, shared with the console
  std::string export_list;  // ArpList.txt, written at the stop time
  std::string debug_folder;
  std::string app_event;         // event log, always written
  std::string app_event2;        // failures of the SNMP response handler
  std::string snmp;              // requests and responses
  std::string snmp_null_values;  // responses with a binding without value
  std::string snmp_error;        // responses with an error status
  std::string services;          // the SNMP endpoint as opened
  std::string tim_res;           // re-sends and given-up walks
  std::string arp_table;         // rows of the last poll
};

}  // namespace vexa
