// Pictures of what the machine's user saw: the message boxes of the tray
// program and its icon in the notification area with its shortcut menu.
// They are drawn with GDI into a bitmap as a plain Windows 10 look, no
// screen needed, and written as PNG files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace carddemo {

// A message box with only an OK button and no icon, as a system-modal box
// of the tray program looks: `caption` in its title bar, `text` with its
// line breaks ("\r\n" or "\n").  False with the reason when it could not be
// drawn or written.
bool writeMessagePicture(const std::filesystem::path &file, const std::u16string &caption, const std::u16string &text,
                         std::string &problem);

struct MenuLine {
  std::u16string text;
  bool isDefault = false;  // drawn bold, as Windows draws a menu's default item
};

// The notification area with the tray program's icon (icon group
// `iconGroup` of the program at `program`, a path on the machine's drive)
// and the shortcut menu that a right click on it opened, above the icon.
bool writeTrayPicture(const std::filesystem::path &file, const std::u16string &program, int iconGroup,
                      const std::vector<MenuLine> &menu, std::string &problem);

}  // namespace carddemo
