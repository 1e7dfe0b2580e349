#pragma once
// Reading and writing profile (INI) files with the platform's profile rules:
// any run of CR/LF ends a line; blanks (space, tab, VT, FF, Ctrl-Z) are trimmed from
// both ends of a line; '[' starts a section whose name runs to the last ']', trimmed,
// but a '[' line without ']' is an ordinary key line ("[x=1" is the key "[x" of the
// section before it); "[]" and "[ ]" name the section ""; a key line splits at its
// first '=', both sides trimmed, and the value may hold more '='; a line without '='
// is a key without value and reads as the default; ';' and '#' are not special;
// section and key names match without regard to case, and the names asked for are
// trimmed like the file's; only the first section of a name is searched, and in it the
// first key of a name wins; the lines before the first header are the first section
// named "" (so a later "[]" is never searched); one pair of matching enclosing '"' or
// '\'' is dropped; a value is cut to size - 1 bytes; a NUL byte cuts a name or value
// where it stands, but the line goes on ("ke<NUL>y=v" is the key "ke" with value "v");
// a missing file, section or key gives the default. A file with a UTF-16 (LE or BE) or
// UTF-8 byte-order mark is read as such and converted to the ANSI code page, 949, each
// UTF-16 unit without a form there becoming '?'; without a mark the bytes pass as they are.
#include <cstddef>

// Copies the value (or the default) into dest, at most size - 1 bytes and a NUL.
// Returns the number of bytes copied, without the NUL. size 0 copies nothing.
// Enclosing quotes are dropped from the trimmed value, cut at a NUL, before it is cut
// to size; blanks in front of a NUL stay. A line of blanks alone is no key. Anything
// but a regular file (a folder, a pipe, a device) reads as missing.
// Never holds more of the file in memory than a bounded window, whatever its lines.
std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue, char* dest,
                              std::size_t size, const char* path);

// Replaces the value of the first matching key of the first matching section, or adds
// "key=value" at the end of that section, or adds the section at the end of the file
// (creating the file). The section "" is the lines before the first header: a new key
// of it goes after its last key, or first in the file. An added key follows the section's last line that is
// not blank, ahead of blank lines that set off the next section. Every other byte of the file stays as it
// was. The file is replaced atomically, so a failed write never leaves it half written. Section and key names
// are trimmed as the reader trims them, and written so. A file saved as Unicode keeps its encoding: the new
// text is converted to it. Returns false when the file could not be written. Nothing is written either when
// an argument is null or the result would not read back as asked: a section, key or value holding CR or LF, a
// key holding '=', a key beginning with '[' whose line would hold a ']' (it would read as a section), a key
// beginning with the bytes of a byte-order mark (first in the file it would read as one), or, for a Unicode
// file, a text without a Unicode form (or a UTF-16 file cut in the middle of a unit). New lines end in CR LF,
// or in LF when the file uses LF alone. A read-only file is not replaced; through a symbolic link, the file
// it names is.
bool WriteProfileString(const char* section, const char* key, const char* value, const char* path);

// True when the file holds a section of that name (the section "" also when keys stand
// before the first section). A missing or unreadable file holds none.
bool ProfileSectionExists(const char* section, const char* path);
