// Windows-1252 texts: the stored files (catalogue, settings, list files,
// reports) are single-byte Windows-1252 with CR LF; the program works in
// UTF-8 inside.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cp1252 {

// Converts UTF-8 to Windows-1252; a character that Windows-1252 lacks (or a
// broken UTF-8 byte) becomes "?". lossless, when given, tells whether every
// character could be stored.
std::string FromUtf8(const std::string& utf8, bool* lossless = nullptr);
// Converts UTF-8 to Windows-1252 for texts that a user reads (reports):
// every character stays visible and unambiguous. Control characters (line
// breaks, tabs, C1 codes) become "[x0A]", characters that Windows-1252
// lacks "[U+4E2D]", a broken UTF-8 byte "[xFF]"; a "[" that would read
// like such a mark becomes "[x5B]".
std::string FromUtf8Visible(const std::string& utf8);
// Converts Windows-1252 bytes to UTF-8 (the five unassigned codes map to the
// C1 control of the same number).
std::string ToUtf8(const std::string& bytes);
// True when every character of the UTF-8 text can be stored in Windows-1252.
bool IsRepresentable(const std::string& utf8);

}  // namespace cp1252

namespace text {

// Number of characters (code points) of a UTF-8 text.
std::size_t Length(const std::string& utf8);
// The first n characters of a UTF-8 text.
std::string Left(const std::string& utf8, std::size_t n);
// The characters from index `from` on.
std::string Mid(const std::string& utf8, std::size_t from);
// Upper case by the rules of the Windows-1252 code page: ASCII letters and
// the Windows-1252 letters (umlauts, accented letters, š, œ, ž, ÿ); ß and
// characters outside Windows-1252 stay as they are.
std::string Upper(const std::string& utf8);
// Removes leading and trailing blanks and control characters (codes <= 32).
std::string Trim(const std::string& s);
// Equal ignoring letter case (by Upper).
bool SameText(const std::string& a, const std::string& b);

}  // namespace text

namespace textfile {

// Reads a Windows-1252 text file as UTF-8 lines; a CR, an LF or CR LF ends a
// line; a final line without ending counts. False when the file cannot be
// read (errorCode: the program's error code); a missing file is errorCode 2.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, int* errorCode = nullptr);
// ReadLines for a file the program keeps: Missing when it is not there (the
// defaults hold), Unreadable when it is there but cannot be read (then it
// must never be written over).
enum class Stored { Loaded, Missing, Unreadable };
Stored ReadStoredLines(const std::string& path, std::vector<std::string>& lines);
// Writes UTF-8 lines as Windows-1252, every line (the last one too) ended by
// CR LF, replacing the file atomically. An empty list gives a 0-byte file.
// Result 0 or an error code of the error table.
int WriteLines(const std::string& path, const std::vector<std::string>& lines);
// WriteLines with FromUtf8Visible: for reports, where a name must neither
// split a line nor turn into "?".
int WriteLinesVisible(const std::string& path, const std::vector<std::string>& lines);

}  // namespace textfile
