// Copying a price file under another symbol: the file image is patched in
// memory (new symbol in the header, checksum resealed, bar prices shifted)
// and written out whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The extension of a file argument: from the last "." of its base name
// (the part after the last "/" or "\") on; null when there is none.
const char* file_extension(const char* path);

// The symbol an output name stands for: its base name cut at the first
// ".", upper-cased, at most 31 characters.
std::string symbol_from_file_name(const char* path);

// 1 when text is a plain decimal number (sign, digits, point, exponent)
// within the range of a float price, with its value in *value.
int parse_price_adjustment(const char* text, double* value);

// 1 when the image holds the header and every extension block and bar its
// header counts.
int price_image_complete(const uint8_t* image, size_t size);

// 1 when the header's checksum word matches its contents.
int price_image_checksum_ok(const uint8_t* image);

// Stores symbol in the header's symbol field (cleared first) and reseals
// the header checksum.
void set_price_image_symbol(uint8_t* image, const std::string& symbol);

// Adds adjustment to open, high, low and close of every bar the header
// counts, and to the extra word of bars that hold a price there. The image
// must be complete.
void adjust_price_image(uint8_t* image, double adjustment);
