// cardprint's process entry.  Messages go to the console the program runs in.
#include "tools/cardprint/cardprint.h"
#include "tools/console/console.h"

#ifdef _WIN32

extern "C" int wmain(int argc, WCHAR **argv) {
  cardtools::StdConsole console;
  return cardprint::cardPrintMain(argc, argv, console);
}

#else

int main(int argc, char **argv) { return cardtools::runWithWideArguments(argc, argv, cardprint::cardPrintMain); }

#endif
