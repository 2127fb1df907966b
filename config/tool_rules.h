// The printer tools' commands and the checks of what the technician types:
// pure text rules, shared by the tools dialog and cardtool.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace card::cfg {

// Fixed tool commands.
inline constexpr std::string_view kEjectCommand = "\x1bMO\r";
inline constexpr std::string_view kCleanCommand =
    "\x1b"
    "CLEAN\r";
// Ends a direct encoding: the tracks given with "\e&B" are written.
inline constexpr std::string_view kEncodeTracksCommand = "\x1b&E*\r";

// The largest print-position offset the printer takes, in dots.
inline constexpr unsigned kLargestOffset = 48;
// Characters a track holds.
inline constexpr std::array<size_t, 3> kTrackCapacity = {76, 37, 104};

// The module's strings that tell why typed text was corrected.
inline constexpr unsigned kIdsInvalidTrackCharacter = 2070;
inline constexpr unsigned kIdsTrackTooLong = 2071;
inline constexpr unsigned kIdsOffsetTooLarge = 2072;

// An offset field's number: digits, blanks around them allowed; nothing for
// an empty field or any other text.
std::optional<unsigned> offsetFieldNumber(std::string_view text);

// "\e<text>\r": a typed command as the printer takes it.
std::string typedCommand(std::string_view text);
// The test card command for a test card list entry's item data: "\eA\r" for
// 0, else "\eA <n>\r".
std::string testCardCommand(long itemData);

// One command that sets the offsets: the front part only for the fields that
// hold numbers ("\e+O x\r\e+OY y\r", either alone, or nothing), then the back
// parts "\e+OB x\r\e+OYB y\r", an empty back field counting as 0.
std::string offsetsCommand(std::optional<unsigned> frontX, std::optional<unsigned> frontY,
                           std::optional<unsigned> backX, std::optional<unsigned> backY);

// "\e&B <n> <text>\r" for each track given with non-empty text, in track
// order, each text cut to its track's capacity; empty when no track is.
// The caller appends kEncodeTracksCommand once the card is in the feeder.
std::string encodeTracksCommand(const std::array<std::optional<std::string>, 3> &tracks);

// The command that reads track `track` (1 to 3): "\e&L<n>\r".
std::string readTrackCommand(int track);

// Text as typed, corrected by the field's rule, and the string number of the
// message that tells why (0 when the text was fine).
struct TypedText {
  std::string text;
  unsigned message = 0;
};
// Track `track` (1 to 3): too long (2071) loses its last character; at the
// first character the track does not take (2070) the text is cut before it.
TypedText checkTrackText(int track, std::string_view text);
// An offset field: a number above 48 (2072) loses its last character.
TypedText checkOffsetText(std::string_view text);

// A field's text from the reply to an offset query: the reply cut before its
// final ACK (and a blank before the ACK in a reply longer than 2 bytes);
// nothing when the reply does not end with ACK.
std::optional<std::string> offsetReplyText(std::string_view reply);

}  // namespace card::cfg
