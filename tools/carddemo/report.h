// The demo's report of what happened, on the console, once the machine has
// stopped; and the printer tools' file in the output folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "tools/carddemo/pacing.h"
#include "tools/carddemo/screen.h"
#include "tools/carddemo/tools_step.h"

namespace carddemo {

// The tray program, each message with when it came (from `jobStartMs`, the
// machine's time at the job's start) and how it went, and the tray's menu.
void reportMessages(const WhatTheUserSaw &s, uint64_t jobStartMs);

// How the USB language monitor paced the job (`faulted`: a printer error
// took part of its time) and how the network one framed it; `clockScale`
// is the machine's clock factor.
void reportPacing(const PacingSummary &p, bool faulted, double clockScale);
void reportFraming(const FrameSummary &f, const cardemu::NetStats &net, double clockScale);

// The job completed or cancelled, with what the printer ran (`resetSent`:
// the printer was reset at the cancel) and each card it put out.
void reportOutcome(size_t commands, size_t errors, const std::vector<cardemu::Card> &cards, bool cancelled,
                   bool resetSent);

// The printer tools: what cardtool said and the printer's listing `lines`
// of the same time, on the console or in `file`.
bool writeToolsFile(const std::filesystem::path &file, const ToolsRun &tools, const std::vector<std::string> &lines);
void reportTools(const ToolsRun &tools, const std::vector<std::string> &lines);

// The files in `out` with their sizes and what each holds; `written` lists
// the cards' and the screen's pictures and uninstall.txt.
void reportFiles(const std::filesystem::path &out, bool network, bool cacheWritten,
                 const std::vector<std::string> &written);

}  // namespace carddemo
