// Conversions between the agent's GBK (code page 936) texts, UTF-8 and UTF-16,
// with decimal character references ("&#%u;") for what GBK cannot hold.
//
// All functions are reentrant. They work on caller-owned NUL-terminated
// buffers; every output is bounded by the size the caller passes (counted in
// bytes for narrow text, in UTF-16 units for wide text, terminating zero
// included) and no input is read past its terminating zero.
#pragma once

#include <cstddef>

// Code pages understood by ToWide and TextToGbkRefs.
inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageEucJp = 51932;  // stands in for 20932
inline constexpr unsigned kCodePageUtf16Le = 1200;
inline constexpr unsigned kCodePageUtf8 = 65001;

// --- tests ---
bool IsAscii(const char* text);
int Utf8LeadLength(unsigned char byte);
bool IsUtf8(const char* text, bool threeByteOnly);

// --- UTF-16 <-> code pages ---
// Converts text from codePage to UTF-16 in out (outUnits units, zero included).
// Returns the number of units written without the zero; 0 (and out empty)
// when the text cannot be converted.
std::size_t ToWide(const char* text, char16_t* out, std::size_t outUnits, unsigned codePage);
// UTF-16 to GBK; characters without a GBK form become "?". Returns bytes written.
std::size_t ToGbk(const char16_t* wide, char* out, std::size_t outSize);
// UTF-16 to UTF-8 into at most size bytes (zero included); a character that
// would not fit whole is left out with everything after it. Returns bytes written.
std::size_t ToUtf8(const char16_t* wide, char* out, std::size_t size);
// GBK (code page 936) straight to UTF-8 into at most size bytes (zero
// included), in one pass: the same bytes as ToWide(936) into a buffer that
// holds the whole text followed by ToUtf8 (U+FFFD for invalid bytes, the
// user-defined area as private-use characters, a character that would not fit
// whole left out with everything after it). Returns bytes written.
std::size_t GbkToUtf8(const char* text, char* out, std::size_t size);

// --- GBK with references ---
// Writes the GBK form of one unit (1 or 2 bytes, no zero) or "?"; returns its length.
int GbkCharOf(char16_t unit, char out[2]);
void WideToGbkRefs(const char16_t* wide, char* out, std::size_t size, bool useGbk);
void TextToGbkRefs(unsigned codePage, const char* text, char* out, std::size_t size, bool useGbk);
void Utf8ToGbkRefs(const char* text, char* out, std::size_t maxLen);
void Utf8ToGbkInPlace(char* text, bool fold, bool strict);
void FoldLatin(char16_t* wide);
void GbkToWideRefs(const char* text, char16_t* out, std::size_t count, unsigned codePage);
void DecodeCharRefs(char16_t* wide);
int CharRefLength(const char* text);

// --- cutting and decoding ---
void CutText(char* text, std::size_t maxBytes);
// Decodes at most outSize - 1 bytes into out (always zero-terminated) and
// stores their number in *decodedLength. Returns 0, or -1 on a bad character
// or an empty input.
int Base64Decode(const char* text, std::size_t length, char* out, std::size_t outSize,
                 std::size_t* decodedLength);
void DecodeWideText(const char* text, char16_t* out, std::size_t count);
void FieldToUtf8(const char* text, char* out, std::size_t utf8Size, int cutTo);
