// The area editors: where the varnish goes on the front (108) and the back
// (117), and where the hologram goes (111).  One procedure serves all three;
// each dialog's numbers and record come with it.  Everything is stored in
// the job settings record of the DEVMODE the sheet is editing as soon as it
// is chosen, and the preview card shows the record as it stands.
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "config/area_rules.h"
#include "config/dialogs.h"
#include "config/dialogs/editor_ids.h"
#include "config/editor_bitmap.h"
#include "config/messages.h"
#include "config/module_state.h"
#include "config/ui_common.h"

namespace card::cfg {

namespace {

// The numbers of one area editor's controls, in the order left, top, right,
// bottom for the coordinates.
struct AreaIds {
  int templateId;
  int type;
  int labels[4];
  int edits[4];
  int spins[4];
  int bitmapGroup;
  int browse;
  int path;
  int rotate;
};

constexpr AreaIds kOverlayIds[2] = {
    {IDD_FRONT_OVERLAY,
     IDC_OVERLAY_TYPE,
     {IDC_OVERLAY_LEFT_LABEL, IDC_OVERLAY_TOP_LABEL, IDC_OVERLAY_RIGHT_LABEL, IDC_OVERLAY_BOTTOM_LABEL},
     {IDC_OVERLAY_LEFT, IDC_OVERLAY_TOP, IDC_OVERLAY_RIGHT, IDC_OVERLAY_BOTTOM},
     {IDC_OVERLAY_LEFT_SPIN, IDC_OVERLAY_TOP_SPIN, IDC_OVERLAY_RIGHT_SPIN, IDC_OVERLAY_BOTTOM_SPIN},
     IDC_OVERLAY_BITMAP_GROUP,
     IDC_OVERLAY_BROWSE,
     IDC_OVERLAY_PATH,
     IDC_OVERLAY_ROTATE},
    {IDD_BACK_OVERLAY,
     IDC_OVERLAY_TYPE,
     {IDC_OVERLAY_LEFT_LABEL, IDC_OVERLAY_TOP_LABEL, IDC_OVERLAY_RIGHT_LABEL, IDC_OVERLAY_BOTTOM_LABEL},
     {IDC_OVERLAY_LEFT, IDC_OVERLAY_TOP, IDC_OVERLAY_RIGHT, IDC_OVERLAY_BOTTOM},
     {IDC_OVERLAY_LEFT_SPIN, IDC_OVERLAY_TOP_SPIN, IDC_OVERLAY_RIGHT_SPIN, IDC_OVERLAY_BOTTOM_SPIN},
     IDC_OVERLAY_BITMAP_GROUP,
     IDC_OVERLAY_BROWSE,
     IDC_OVERLAY_PATH,
     IDC_OVERLAY_ROTATE},
};

constexpr AreaIds kHologramIds = {
    IDD_HOLOGRAM_AREA,
    IDC_HOLOGRAM_TYPE,
    {IDC_HOLOGRAM_LEFT_LABEL, IDC_HOLOGRAM_TOP_LABEL, IDC_HOLOGRAM_RIGHT_LABEL, IDC_HOLOGRAM_BOTTOM_LABEL},
    {IDC_HOLOGRAM_LEFT, IDC_HOLOGRAM_TOP, IDC_HOLOGRAM_RIGHT, IDC_HOLOGRAM_BOTTOM},
    {IDC_HOLOGRAM_LEFT_SPIN, IDC_HOLOGRAM_TOP_SPIN, IDC_HOLOGRAM_RIGHT_SPIN, IDC_HOLOGRAM_BOTTOM_SPIN},
    IDC_HOLOGRAM_BITMAP_GROUP,
    IDC_HOLOGRAM_BROWSE,
    IDC_HOLOGRAM_PATH,
    IDC_HOLOGRAM_ROTATE};

constexpr Coordinate kCoordinates[4] = {Coordinate::Left, Coordinate::Top, Coordinate::Right, Coordinate::Bottom};

struct AreaEditor {
  AreaKind kind = AreaKind::FrontOverlay;
  const AreaIds *ids = nullptr;
  OverlayRecord *record = nullptr;
  bool changed = false;
  // Set while the dialog writes its own edits, whose change notifications
  // are then no user's entry.
  bool writing = false;
  AreaRect preview;
};

AreaEditor *editorOf(HWND dialog) { return reinterpret_cast<AreaEditor *>(GetWindowLongPtrW(dialog, DWLP_USER)); }

// Coordinates for the selected-area types, the bitmap controls for the
// bitmap type, neither for the others.
void enableForType(HWND dialog, const AreaEditor &e) {
  const bool coordinates = isSelectedAreaType(e.kind, e.record->type);
  const bool bitmap = isBitmapType(e.kind, e.record->type);
  for (int i = 0; i < 4; ++i) {
    enableControl(dialog, e.ids->labels[i], coordinates);
    enableControl(dialog, e.ids->edits[i], coordinates);
    enableControl(dialog, e.ids->spins[i], coordinates);
  }
  enableControl(dialog, e.ids->bitmapGroup, bitmap);
  enableControl(dialog, e.ids->browse, bitmap);
  enableControl(dialog, e.ids->path, bitmap);
}

// The preview shows the record at once, before any message the change
// brings up.
void repaintPreview(HWND dialog, const AreaEditor &e) {
  RECT r = {e.preview.left, e.preview.top, e.preview.right + 1, e.preview.bottom + 1};
  InvalidateRect(dialog, &r, FALSE);
  UpdateWindow(dialog);
}

// Shows a coordinate in its edit and moves its up-down there (the up-down
// stops at its range's end; the edit shows the value itself).
void showCoordinate(HWND dialog, AreaEditor &e, int index) {
  const int32_t value = coordinateOf(*e.record, kCoordinates[index]);
  const bool was = e.writing;
  e.writing = true;
  SendDlgItemMessageW(dialog, e.ids->spins[index], UDM_SETPOS32, 0, LPARAM(value));
  SetDlgItemInt(dialog, e.ids->edits[index], UINT(value), TRUE);
  e.writing = was;
}

void setType(HWND dialog, AreaEditor &e, int16_t type) {
  e.record->type = type;
  SendDlgItemMessageW(dialog, e.ids->type, CB_SETCURSEL, WPARAM(type), 0);
  enableForType(dialog, e);
}

// A coordinate typed (or moved by its up-down) while the area is editable.
// Each change is checked as it comes, key by key.  An accepted value leaves
// the text and caret as they are, so that the next key goes on the number
// (selecting the whole text here would make every key replace the one
// before, and no number of two digits could be typed); a refused one is put
// back and selected, for the user to type again.
void coordinateEntered(HWND dialog, AreaEditor &e, int index) {
  WCHAR text[16] = {};
  const int length = GetDlgItemTextW(dialog, e.ids->edits[index], text, int(std::size(text)));
  const int value = parseCoordinate(text, size_t(length > 0 ? length : 0));
  HWND edit = GetDlgItem(dialog, e.ids->edits[index]);
  if (value >= 0 && coordinateAccepted(*e.record, kCoordinates[index], value)) {
    setCoordinate(e.record, kCoordinates[index], value);
    SendDlgItemMessageW(dialog, e.ids->spins[index], UDM_SETPOS32, 0, LPARAM(value));
    repaintPreview(dialog, e);
    e.changed = true;
    return;
  }
  showCoordinate(dialog, e, index);
  errorBox(IDS_EDITOR_CAPTION, IDS_INVALID_COORDINATES, MB_OK | MB_ICONSTOP);
  SendMessageW(edit, EM_SETSEL, 0, -1);
}

void showPath(HWND dialog, const AreaEditor &e) {
  WCHAR path[kOverlayPathChars + 1] = {};
  for (size_t i = 0; i < kOverlayPathChars && e.record->bitmapPath[i]; ++i) path[i] = e.record->bitmapPath[i];
  SetDlgItemTextW(dialog, e.ids->path, path);
}

// The user's choice of a bitmap for the record; false when nothing was
// chosen (the stored path stays).
bool chooseBitmap(HWND dialog, AreaEditor &e) {
  WCHAR path[kOverlayPathChars] = {};
  if (!chooseOneBitBitmap(dialog, path, std::size(path))) return false;
  for (size_t i = 0; i < kOverlayPathChars; ++i) e.record->bitmapPath[i] = path[i];
  showPath(dialog, e);
  return true;
}

void typeChosen(HWND dialog, AreaEditor &e) {
  const LRESULT selection = SendDlgItemMessageW(dialog, e.ids->type, CB_GETCURSEL, 0, 0);
  if (selection < 0 || selection >= areaTypeCount(e.kind)) return;
  int16_t type = int16_t(selection);
  // The bitmap type needs a bitmap: without one stored the user chooses it
  // now, and one who does not gets the full coating back.
  if (isBitmapType(e.kind, type) && !e.record->bitmapPath[0] && !chooseBitmap(dialog, e)) type = kAreaFallbackType;
  setType(dialog, e, type);
  e.changed = true;
  repaintPreview(dialog, e);
}

void browse(HWND dialog, AreaEditor &e) {
  if (chooseBitmap(dialog, e)) {
    e.changed = true;
  } else if (!e.record->bitmapPath[0]) {
    setType(dialog, e, kAreaFallbackType);
    e.changed = true;
  }
  repaintPreview(dialog, e);
}

void initDialog(HWND dialog, AreaEditor &e) {
  e.writing = true;
  for (int i = 0; i < 4; ++i) {
    HWND spin = GetDlgItem(dialog, e.ids->spins[i]);
    SendMessageW(spin, UDM_SETRANGE32, 0, LPARAM(upDownMax(kCoordinates[i])));
    SendDlgItemMessageW(dialog, e.ids->edits[i], EM_SETLIMITTEXT, kCoordinateChars, 0);
    showCoordinate(dialog, e, i);
  }
  for (int t = 0; t < areaTypeCount(e.kind); ++t) {
    WCHAR text[128] = {};
    LoadStringW(state().instance, areaTypeTextId(e.kind, t), text, int(std::size(text)));
    SendDlgItemMessageW(dialog, e.ids->type, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendDlgItemMessageW(dialog, e.ids->type, CB_SETCURSEL, WPARAM(e.record->type), 0);
  enableForType(dialog, e);
  showPath(dialog, e);
  CheckDlgButton(dialog, e.ids->rotate, isRotated(*e.record) ? BST_CHECKED : BST_UNCHECKED);
  e.writing = false;

  // The preview card inside its group box, from the box's size and the
  // dialog's base units.
  RECT client{};
  GetClientRect(GetDlgItem(dialog, IDC_AREA_PREVIEW), &client);
  int bx = 0, by = 0;
  dialogBaseUnits(dialog, bx, by);
  e.preview = previewRect({client.left, client.top, client.right, client.bottom}, bx, by);
  e.changed = false;
}

void paintPreview(HWND dialog, const AreaEditor &e) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dialog, &ps);
  if (!dc) return;
  const PreviewPlan plan = previewPlan(e.kind, *e.record, e.preview);
  if (plan.bitmap) {
    WCHAR path[kOverlayPathChars + 1] = {};
    for (size_t i = 0; i < kOverlayPathChars && e.record->bitmapPath[i]; ++i) path[i] = e.record->bitmapPath[i];
    paintBitmapPreview(dc, e.preview, path, isRotated(*e.record));
  } else if (plan.known) {
    auto brush = [](AreaFill f) { return GetStockObject(f == AreaFill::Black ? BLACK_BRUSH : WHITE_BRUSH); };
    HGDIOBJ old = SelectObject(dc, brush(plan.background));
    Rectangle(dc, e.preview.left, e.preview.top, e.preview.right, e.preview.bottom);
    if (plan.hasArea) {
      SelectObject(dc, brush(plan.areaFill));
      Rectangle(dc, plan.area.left, plan.area.top, plan.area.right, plan.area.bottom);
    }
    SelectObject(dc, old);
  }
  EndPaint(dialog, &ps);
}

int indexOf(const int (&ids)[4], int id) {
  for (int i = 0; i < 4; ++i)
    if (ids[i] == id) return i;
  return -1;
}

INT_PTR CALLBACK areaEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    initDialog(dialog, *reinterpret_cast<AreaEditor *>(lParam));
    return TRUE;
  }
  AreaEditor *e = editorOf(dialog);
  if (!e) return FALSE;
  switch (message) {
    case WM_PAINT: paintPreview(dialog, *e); return TRUE;
    case WM_VSCROLL: {
      // An up-down's arrow moved it: its edit shows the new position, which
      // is then taken as typed.
      const int spin = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      const int index = indexOf(e->ids->spins, spin);
      if (index < 0 || LOWORD(wParam) != SB_THUMBPOSITION) return FALSE;
      const LRESULT position = SendMessageW(reinterpret_cast<HWND>(lParam), UDM_GETPOS32, 0, 0);
      SetDlgItemInt(dialog, e->ids->edits[index], UINT(position), TRUE);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == e->ids->type) {
        if (code == CBN_SELCHANGE) typeChosen(dialog, *e);
        return TRUE;
      }
      const int edit = indexOf(e->ids->edits, id);
      if (edit >= 0) {
        if (code == EN_CHANGE && !e->writing && isSelectedAreaType(e->kind, e->record->type))
          coordinateEntered(dialog, *e, edit);
        return TRUE;
      }
      if (code != BN_CLICKED) return FALSE;
      if (id == e->ids->browse) {
        browse(dialog, *e);
      } else if (id == e->ids->rotate) {
        e->record->rotated = IsDlgButtonChecked(dialog, e->ids->rotate) == BST_CHECKED ? kSettingOn : kSettingOff;
        e->changed = true;
        repaintPreview(dialog, *e);
      } else if (id == IDC_EDITOR_HELP) {
        openHelp(dialog);
      } else if (id == IDC_EDITOR_CLOSE || id == IDCANCEL) {
        EndDialog(dialog, e->changed ? 1 : 0);
      } else {
        return FALSE;
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

INT_PTR showAreaEditor(HWND owner, AreaKind kind, const AreaIds &ids, OverlayRecord *record) {
  if (!record) return -1;
  AreaEditor editor;
  editor.kind = kind;
  editor.ids = &ids;
  editor.record = record;
  return DialogBoxParamW(state().instance, MAKEINTRESOURCEW(ids.templateId), owner, areaEditorProc,
                         reinterpret_cast<LPARAM>(&editor));
}

}  // namespace

INT_PTR showOverlayDialog(HWND owner, OverlaySide side) {
  JobSettingsRecord *record = state().currentRecord;
  if (!record) return -1;
  const bool front = side == OverlaySide::Front;
  return showAreaEditor(owner, front ? AreaKind::FrontOverlay : AreaKind::BackOverlay, kOverlayIds[front ? 0 : 1],
                        front ? &record->frontOverlay : &record->backOverlay);
}

INT_PTR showHologramAreaDialog(HWND owner) {
  JobSettingsRecord *record = state().currentRecord;
  if (!record) return -1;
  return showAreaEditor(owner, AreaKind::Hologram, kHologramIds, &record->hologramArea);
}

}  // namespace card::cfg
