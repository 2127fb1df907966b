// cardtool's process entry.  Messages go to the console the program runs in.
#include "tools/cardtool/cardtool.h"

#ifdef _WIN32

extern "C" int wmain(int argc, WCHAR **argv) {
  cardtools::StdConsole console;
  return cardtool::cardToolMain(argc, argv, console);
}

#else

int main(int argc, char **argv) { return cardtools::runWithWideArguments(argc, argv, cardtool::cardToolMain); }

#endif
