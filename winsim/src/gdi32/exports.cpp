// The functions of gdi32.dll that winsim implements, for GetProcAddress: the
// GDI calls, and the engine calls and DDI object services that gdi32 exports
// to printer drivers running in user mode.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kGdi32[] = {
    "AbortDoc", "BRUSHOBJ_pvAllocRbrush", "BRUSHOBJ_pvGetRbrush", "BRUSHOBJ_ulGetBrushColor", "BitBlt",
    "CLIPOBJ_bEnum", "CLIPOBJ_cEnumStart", "CreateBitmap", "CreateBrushIndirect", "CreateCompatibleBitmap",
    "CreateCompatibleDC", "CreateDCW", "CreateDIBSection", "CreateFontIndirectW", "CreateFontW", "CreateHatchBrush",
    "CreateICW", "CreatePatternBrush", "CreatePen", "CreatePenIndirect", "CreateRectRgn", "CreateSolidBrush",
    "DeleteDC", "DeleteObject", "Ellipse", "EndDoc", "EndPage", "EngAllocMem", "EngAllocUserMem",
    "EngAssociateSurface", "EngBitBlt", "EngCheckAbort", "EngCopyBits", "EngCreateBitmap", "EngCreateClip",
    "EngCreatePalette", "EngCreatePath", "EngDeleteClip", "EngDeletePalette", "EngDeletePath", "EngDeleteSurface",
    "EngEraseSurface", "EngFillPath", "EngFreeMem", "EngFreeUserMem", "EngGetDriverName", "EngGetLastError",
    "EngGetPrinter", "EngGetPrinterData", "EngGetPrinterDataFileName", "EngLineTo", "EngLockSurface",
    "EngMarkBandingSurface", "EngMultiByteToUnicodeN", "EngPaint", "EngSetLastError", "EngStretchBlt",
    "EngStretchBltROP", "EngStrokeAndFillPath", "EngStrokePath", "EngTextOut", "EngUnicodeToMultiByteN",
    "EngUnlockSurface", "EngWritePrinter", "Escape", "ExcludeClipRect", "ExtEscape", "ExtTextOutW",
    "FONTOBJ_cGetAllGlyphHandles", "FONTOBJ_cGetGlyphs", "FONTOBJ_pfdg", "FONTOBJ_vGetInfo", "GdiFlush", "GetBkColor",
    "GetBkMode", "GetCurrentObject", "GetDIBits", "GetDeviceCaps", "GetGlyphIndicesW", "GetObjectType", "GetObjectW",
    "GetPixel", "GetPolyFillMode", "GetROP2", "GetStockObject", "GetStretchBltMode", "GetTextAlign", "GetTextColor",
    "GetTextExtentPoint32W", "GetTextMetricsW", "IntersectClipRect", "LineTo", "MoveToEx", "PATHOBJ_bCloseFigure",
    "PATHOBJ_bEnum", "PATHOBJ_bMoveTo", "PATHOBJ_bPolyLineTo", "PATHOBJ_vEnumStart", "PATHOBJ_vGetBounds", "PatBlt",
    "Polygon", "Polyline", "Rectangle", "ResetDCW", "RestoreDC", "STROBJ_bEnum", "STROBJ_bEnumPositionsOnly",
    "STROBJ_vEnumStart", "SaveDC", "SelectClipRgn", "SelectObject", "SetAbortProc", "SetBkColor", "SetBkMode",
    "SetDCBrushColor", "SetDCPenColor", "SetDIBits", "SetDIBitsToDevice", "SetPixel", "SetPolyFillMode", "SetROP2",
    "SetStretchBltMode", "SetTextAlign", "SetTextColor", "StartDocW", "StartPage", "StretchBlt", "StretchDIBits",
    "TextOutW", "XLATEOBJ_cGetPalette", "XLATEOBJ_iXlate", "XLATEOBJ_piVector",
};
const ExportList kGdi32List(u"gdi32.dll", kGdi32);

}  // namespace

}  // namespace winsim
