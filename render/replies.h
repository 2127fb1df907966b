// Reading what the printer told: the ribbon cache file's two keys and the
// replies of the model and ribbon queries.  Plain logic on bytes.
#pragma once

#include <windows.h>

#include <cstddef>

#include "render/stream.h"

namespace card {

// The ribbon cache file's text: ribbon code and model text, when present.
void parseRibbonCache(const char *text, size_t size, PrinterAnswer &answer);
// Replies of the model and ribbon queries.
bool modelFromReply(const BYTE *reply, DWORD length, char (&model)[32]);
long ribbonCodeFromReply(const BYTE *reply, DWORD length);

}  // namespace card
