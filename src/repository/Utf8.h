// Strict conversions between the wide strings of the repository interface and UTF-8 bytes, the form
// of file names and paths on this system. They never depend on the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Empty when the bytes are not well-formed UTF-8 (overlong forms, surrogates and stray bytes refused).
std::optional<std::wstring> WideFromUtf8(std::string_view bytes);

// Empty when the text holds a value that is not a Unicode scalar value (a lone surrogate, for one).
std::optional<std::string> Utf8FromWide(std::wstring_view text);

// For messages only: what cannot be converted becomes U+FFFD.
std::wstring WideFromUtf8Lossy(std::string_view bytes);
std::string Utf8FromWideLossy(std::wstring_view text);

// The length of the longest start of `bytes`, at most `maxBytes` long, that does not end inside a
// character: a text cut there stays well-formed. A cut into malformed bytes falls at `maxBytes`.
std::size_t Utf8PrefixLength(std::string_view bytes, std::size_t maxBytes);
