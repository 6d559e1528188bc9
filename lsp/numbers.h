// The words of a number's hover: its value in decimal and hex, and what
// the machine itself keeps at it as a cell, from the core's memory layout.
#pragma once
#include <cstdint>
#include <string>

// For an address, the cell it names, ordinary memory or no cell at all; for
// any other number, the cell only when the machine keeps something there.
std::string numbers_words(int32_t value, bool address);
