#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace qz {

// The program's texts are 8-bit. Bytes that form valid UTF-8 are read as UTF-8 (what this
// platform's files and names hold); anything else is read as Windows-1252, the code page
// that the updater's information files and servers have always used.
class AnsiText {
 public:
  // True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates, nothing
  // above U+10FFFF, no truncated sequence.
  static bool IsValidUtf8(std::string_view bytes);

  // The text of `bytes` under the rule above.
  static QString Decode(std::string_view bytes);

  // As Decode, for showing: CR LF, a lone CR and a lone LF all become one line break.
  static QString ForDisplay(std::string_view bytes);

  // A text typed by the user, as UTF-8 bytes.
  static std::string Encode(const QString& text);
};

}  // namespace qz
