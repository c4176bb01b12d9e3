#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Windows-1250 (Central European ANSI), the code page of orvex.ini and the text recording file.
// The five bytes the code page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1
// controls of the same number, as Windows does, so every byte string survives a round trip.
namespace cp1250 {

enum class Error {
    None,
    InvalidUtf8,      // malformed, overlong, surrogate or beyond U+10FFFF
    Unrepresentable,  // a valid character the code page has no byte for
};

struct Failure {
    Error error = Error::None;
    std::size_t offset = 0;  // byte offset in the UTF-8 input of the offending sequence
};

// Empty optional when the text is not valid UTF-8 or holds a character outside the code page;
// failure (when given) then says which and where.
std::optional<std::string> FromUtf8(std::string_view utf8, Failure* failure = nullptr);

// Always succeeds: every byte has a character.
std::string ToUtf8(std::string_view bytes);

// True when FromUtf8 would succeed.
bool CanEncode(std::string_view utf8);

// The code point of one byte, and the byte of one code point (empty when there is none).
char32_t ToUnicode(unsigned char byte);
std::optional<unsigned char> FromUnicode(char32_t codePoint);

// Lower-case letter of the code page for an upper-case one (A-Z and the accented capitals);
// any other byte unchanged.
unsigned char ToLower(unsigned char byte);

}  // namespace cp1250
