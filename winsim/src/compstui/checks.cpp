// The checks of a page added with CPSFUNC_ADD_PCOMPROPSHEETUIW: the
// COMPROPSHEETUI, its OPTITEMs, their OPTTYPEs with their OPTPARAMs and
// EXTPUSHes, each fault with its ERR_CPSUI_* result.
#include <compstui.h>

#include "compstui/sheet.h"

namespace winsim::cpsui {

namespace {

// The count of OPTPARAMs a kind takes exactly; 0 for lists of any length.
WORD paramCount(BYTE kind) {
  switch (kind) {
    case TVOT_2STATES: return 2;
    case TVOT_3STATES: return 3;
    case TVOT_UDARROW: return 2;
    case TVOT_TRACKBAR: return 3;
    case TVOT_SCROLLBAR: return 3;
    case TVOT_EDITBOX: return 2;
    case TVOT_PUSHBUTTON: return 1;
    case TVOT_CHKBOX: return 1;
    default: return 0;
  }
}

LONG checkPushButton(const OPTPARAM &p, const COMPROPSHEETUI &page) {
  if (p.Style > PUSHBUTTON_TYPE_HTSETUP) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
  if (p.Style == PUSHBUTTON_TYPE_CALLBACK && !p.pData && !page.pfnCallBack) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
  if (p.Style == PUSHBUTTON_TYPE_DLGPROC && !p.pData) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
  return 0;
}

LONG checkOptType(const OPTITEM &item, const COMPROPSHEETUI &page) {
  const OPTTYPE *type = item.pOptType;
  if (type->cbSize != sizeof(OPTTYPE)) return ERR_CPSUI_INVALID_OPTTYPE_CBSIZE;
  if (type->Type > TVOT_LAST) return ERR_CPSUI_INVALID_TVOT_TYPE;
  if (!type->pOptParam) return ERR_CPSUI_NULL_POPTPARAM;
  WORD need = paramCount(type->Type);
  if (need ? type->Count != need : type->Count == 0) return ERR_CPSUI_INVALID_OPTTYPE_COUNT;
  for (WORD c = 0; c < type->Count; ++c)
    if (type->pOptParam[c].cbSize != sizeof(OPTPARAM)) return ERR_CPSUI_INVALID_OPTPARAM_CBSIZE;
  if (type->Type == TVOT_EDITBOX) {
    if (!item.pSel) return ERR_CPSUI_INVALID_EDITBOX_PSEL;
    if (type->pOptParam[1].IconID < 2) return ERR_CPSUI_INVALID_EDITBOX_BUF_SIZE;
  }
  if (type->Type == TVOT_PUSHBUTTON) return checkPushButton(type->pOptParam[0], page);
  return 0;
}

LONG checkExtPush(const EXTPUSH &push, const COMPROPSHEETUI &page) {
  if (push.cbSize != sizeof(EXTPUSH)) return ERR_CPSUI_INVALID_EXTPUSH_CBSIZE;
  if (push.Flags & EPF_PUSH_TYPE_DLGPROC) {
    if (!push.DlgProc) return ERR_CPSUI_NULL_EXTPUSH_DLGPROC;
    if (!(push.Flags & EPF_USE_HDLGTEMPLATE) && !push.DlgTemplateID) return ERR_CPSUI_NO_EXTPUSH_DLGTEMPLATEID;
  } else if (!push.pfnCallBack && !page.pfnCallBack) {
    return ERR_CPSUI_NULL_EXTPUSH_CALLBACK;
  }
  return 0;
}

LONG checkItem(const OPTITEM &item, const COMPROPSHEETUI &page) {
  if (item.cbSize != sizeof(OPTITEM)) return ERR_CPSUI_INVALID_OPTITEM_CBSIZE;
  if (!item.pName) return ERR_CPSUI_NULL_OPTITEMNAME;
  if (item.pOptType) {
    LONG e = checkOptType(item, page);
    if (e) return e;
  }
  if ((item.Flags & OPTIF_EXT_IS_EXTPUSH) && item.pExtPush) return checkExtPush(*item.pExtPush, page);
  return 0;
}

}  // namespace

LONG checkPage(const COMPROPSHEETUI *page) {
  if (!page || page->cbSize != sizeof(COMPROPSHEETUI)) return ERR_CPSUI_INVALID_PDATA;
  if (!page->hInstCaller) return ERR_CPSUI_NULL_HINST;
  if (!page->pCallerName) return ERR_CPSUI_NULL_CALLERNAME;
  if (page->pDlgPage != CPSUI_PDLGPAGE_TREEVIEWONLY && page->pDlgPage != CPSUI_PDLGPAGE_DOCPROP &&
      page->pDlgPage != CPSUI_PDLGPAGE_ADVDOCPROP && page->pDlgPage != CPSUI_PDLGPAGE_PRINTERPROP)
    // Pages of the caller's own dialogs are not hosted here.
    return ERR_CPSUI_INVALID_PDLGPAGE;
  if (page->cOptItem == 0) return ERR_CPSUI_ZERO_OPTITEM;
  if (!page->pOptItem) return ERR_CPSUI_NULL_POPTITEM;
  for (WORD i = 0; i < page->cOptItem; ++i) {
    LONG e = checkItem(page->pOptItem[i], *page);
    if (e) return e;
  }
  return 0;
}

}  // namespace winsim::cpsui
