// The conformance suite as a Windows program: run on Windows, or under Wine
// with run-under-wine.sh.
#include "check.h"

int main() { return conf::runAll(); }
