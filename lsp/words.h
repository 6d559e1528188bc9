// What the manual says of each mnemonic and service, read from its tables,
// for hovers and completions.
#pragma once
#include <string>
#include <vector>

// A mnemonic's row as text: what it does and how it finds its operand;
// empty for a text that is no mnemonic.
std::string words_mnemonic(const std::string& mnemonic);
// A service's row: its name, what it reads and what it does; empty for a
// number the manual does not list.
std::string words_service(int number);
// The service's name alone.
std::string words_service_name(int number);
// The numbers of the services the manual lists, in its order.
const std::string& words_service_numbers();
// The words of a text, as spaces, tabs and line ends separate them.
std::vector<std::string> words_split(const std::string& text);
