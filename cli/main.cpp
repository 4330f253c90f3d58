// vexa-arp: the server's command line for a Vexa ARP program folder.
#include <iostream>

#include "cli.h"
#include "platform/program_folder.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::string folder;
  try {
    // Every file is named from the folder of the program, as the collector
    // and the console do (a link to it in /usr/bin resolves to that folder).
    folder = vexa::ExecutableFolder();
  } catch (const std::exception& e) {
    std::cerr << "vexa-arp: " << e.what() << '\n';
    return 1;
  }
  const int status = vexa::cli::Run({argv + 1, argv + argc}, folder, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : 1;
}
