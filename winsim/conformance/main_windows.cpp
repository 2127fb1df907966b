// The conformance suite as a Windows program: run on Windows, or under Wine
// (`./run test` does, in its Wine prefix).
#include "check.h"

int main() { return conf::runAll(); }
