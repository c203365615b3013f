#pragma once

#include <cstddef>
#include <string>

namespace korvalt {

// Reads and writes single entries of INI files ("[section]" lines followed by
// "key=value" lines), the way the classic private-profile functions do, for
// UTF-8 text files with LF or CR LF line ends.
//
// Names of sections and keys compare without regard to ASCII case and to the
// blanks around them. Only the first section of a given name is looked at, and
// within it the first entry of a given key. Lines that start with ';' are
// comments; lines without '=' carry no entry.
class IniFile {
public:
    // Value of `key` in `section` of `file`, or `defaultValue` (less trailing
    // blanks) when the file, the section or the key is missing. `size` is the
    // size of the receiving buffer of the classic function: at most size - 1
    // characters (Unicode code points) come back, never part of a character.
    // The value loses the blanks around it and one pair of matching double or
    // single quotes enclosing it. A key present with an empty value gives "".
    static std::string getString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, std::size_t size,
                                 const std::string& file);

    // Sets `key` in `section` of `file` to `value`, creating the file, the
    // section and the key as needed. Every other line of the file is kept byte
    // for byte, and so is the file's line-end style. The new content goes to a
    // temporary file beside the old one, which then replaces it, so a failure
    // never leaves a half-written file. Returns false when nothing could be
    // written, or when a name or the value cannot be stored on one line.
    static bool writeString(const std::string& section, const std::string& key,
                            const std::string& value, const std::string& file);
};

} // namespace korvalt
