#pragma once
// Reading and writing profile (INI) files with the platform's profile rules:
// any run of CR/LF ends a line; blanks (space, tab, VT, FF, Ctrl-Z) are trimmed from
// both ends of a line; '[' starts a section whose name runs to the last ']', trimmed;
// a key line splits at its first '=', both sides trimmed, and the value may hold more
// '='; a line without '=' is a key without value and reads as the default; ';' and '#'
// are not special; section and key names match without regard to case; only the first
// section of a name is searched, and in it the first key of a name wins; one pair of
// matching enclosing '"' or '\'' is dropped; a value is cut to size - 1 bytes; keys
// before the first section belong to the section with the empty name; a NUL byte ends
// a name or value where it stands; a missing file, section or key gives the default;
// a UTF-8 byte-order mark is skipped.
#include <cstddef>

// Copies the value (or the default) into dest, at most size - 1 bytes and a NUL.
// Returns the number of bytes copied, without the NUL. size 0 copies nothing.
// Enclosing quotes are dropped from the trimmed value before it is cut. Keys before
// the first section form the section "" only when there is at least one; otherwise
// the first "[]" line is that section. A line of blanks alone is no key. A NUL byte
// ends the line's text: the rest of that line is ignored. Anything but a regular file
// (a folder, a pipe, a device) reads as missing.
// Never holds more of the file in memory than a bounded window, whatever its lines.
std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* dest, std::size_t size, const char* path);

// Replaces the value of the first matching key of the first matching section, or adds
// "key=value" at the end of that section, or adds the section at the end of the file
// (creating the file). An added key follows the section's last line that is not blank,
// ahead of blank lines that set off the next section. Every other byte of the file
// stays as it was. The file is replaced atomically, so a failed write never leaves it
// half written.
// Returns false when the file could not be written. Nothing is written either when an
// argument is null or the result would not read back as asked: a section, key or value
// holding CR or LF, a section or key with blanks at either end, a key holding '=' or
// beginning with '['. New lines end in CR LF, or in LF when the file uses LF alone.
// A read-only file is not replaced; through a symbolic link, the file it names is.
bool WriteProfileString(const char* section, const char* key, const char* value, const char* path);

// True when the file holds a section of that name (the section "" also when keys stand
// before the first section). A missing or unreadable file holds none.
bool ProfileSectionExists(const char* section, const char* path);
