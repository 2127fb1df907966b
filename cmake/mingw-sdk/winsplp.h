// mingw-w64's winsplp.h uses winspool.h's types (PRINTER_DEFAULTSW, the bidi
// containers, the notification records) without including it, so a file
// built with WIN32_LEAN_AND_MEAN that names winsplp.h alone does not compile.
// winsim's winsplp.h brings winspool.h in; this one does the same, so that
// both flavours take the same includes.
#pragma once

#include <windows.h>
#include <winspool.h>

#include_next <winsplp.h>
