// Conversions for the UTF-16 little-endian text that resources hold.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Each character as two little-endian bytes; malformed UTF-8 bytes become U+FFFD.
std::vector<std::byte> Utf8ToUtf16Bytes(std::string_view text);
// Reads up to the first null character or the end; unpaired surrogates become U+FFFD.
std::string Utf16BytesToUtf8(std::span<const std::byte> bytes);
