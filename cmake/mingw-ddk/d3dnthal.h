// See ddrawint.h: winddi.h includes this header; a printer driver needs nothing from it.
#pragma once
