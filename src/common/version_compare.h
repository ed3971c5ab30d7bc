// Version texts as the "FileVersion" field of a version resource holds them:
// normally four decimal fields separated by points (4.2.5.0), in older files
// by a comma and a blank (4, 2, 5, 0). Any text is accepted.
#pragma once

#include <string>

namespace qvx {

// The next field of a version text, starting at position (0 for the first).
// Every character that is neither a blank nor a digit 0-9 separates fields.
// Position moves past the separator; after the last field it becomes -1, and
// a negative position or one at or past the end gives an empty field.
std::string NextVersionField(std::string text, int& position);

// The numeric value of one field: leading blanks skipped, then the digits up
// to the first other character; no digits give 0, and a value beyond the
// range of an int counts as the largest int.
int VersionFieldValue(const std::string& field);

// Negative when a is older than b, 0 when equal, positive when a is newer.
// Four fields are compared; a missing field counts as 0, further fields are
// ignored.
int CompareVersions(const std::string& a, const std::string& b);

}  // namespace qvx
