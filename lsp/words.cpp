// The manual's tables, parsed once: rows of the instruction tables start
// with the mnemonics in backquotes, rows of the service table with the
// service's number.
#include "words.h"

#include <cctype>
#include <map>
#include <vector>

extern const char* const words_instructions_page;
extern const char* const words_services_page;

namespace {

// The lines of a page, without their ends.
std::vector<std::string> lines_of(const char* page)
{
    std::vector<std::string> lines;
    std::string text = page;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::vector<std::string> cells_of(const std::string& row)
{
    std::vector<std::string> cells;
    std::string cell;
    for (size_t i = 1; i < row.size(); i++) {
        if (row[i] == '|') {
            size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
            cells.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
            cell.clear();
        } else {
            cell += row[i];
        }
    }
    return cells;
}

// The mnemonics of a first cell such as "`beq` `bne`"; none when the cell
// holds anything else.
std::vector<std::string> mnemonics_of(const std::string& cell)
{
    std::vector<std::string> names;
    for (const std::string& w : words_split(cell)) {
        if (w.size() != 5 || w.front() != '`' || w.back() != '`')
            return {};
        names.push_back(w.substr(1, 3));
    }
    return names;
}

struct words_tables {
    std::map<std::string, std::string> mnemonics;
    std::map<int, std::pair<std::string, std::string>> services;  // name, row
    std::string numbers;
};

const words_tables& tables()
{
    static words_tables t = [] {
        words_tables w;
        std::vector<std::string> header;
        for (const std::string& line : lines_of(words_instructions_page)) {
            if (line.rfind("| Mnemonic", 0) == 0) {
                header = cells_of(line);
                continue;
            }
            if (line.rfind("| `", 0) != 0)
                continue;
            std::vector<std::string> cells = cells_of(line);
            std::vector<std::string> names = mnemonics_of(cells[0]);
            if (names.empty() || cells.size() < 3)
                continue;
            std::string text = "Operand: ";
            text += cells[1];
            text += '.';
            for (size_t k = 2; k < cells.size() && k < header.size(); k++)
                if (!cells[k].empty())
                    text += header.size() == 3 ? " " + cells[k] : "\n- " + header[k] + ": " + cells[k];
            std::string together;
            for (const std::string& n : names) {
                if (!together.empty())
                    together += ' ';
                together.append("`").append(n).append("`");
            }
            for (const std::string& n : names)
                w.mnemonics[n] = (names.size() > 1 ? together + ": " : "") + text;
        }
        for (const std::string& line : lines_of(words_services_page)) {
            if (line.size() < 3 || line[0] != '|' || !isdigit((unsigned char)line[2]))
                continue;
            std::vector<std::string> cells = cells_of(line);
            if (cells.size() < 4)
                continue;
            int number = std::stoi(cells[0]);
            std::string row = "Reads: " + (cells[2].empty() ? std::string("nothing") : cells[2]) + ". " + cells[3];
            w.services[number] = {cells[1], row};
            if (!w.numbers.empty())
                w.numbers += ' ';
            w.numbers += cells[0];
        }
        return w;
    }();
    return t;
}

}  // namespace

std::vector<std::string> words_split(const std::string& text)
{
    std::vector<std::string> words;
    std::string w;
    for (char c : text + " ") {
        if (!isspace((unsigned char)c)) {
            w += c;
        } else if (!w.empty()) {
            words.push_back(w);
            w.clear();
        }
    }
    return words;
}

std::string words_mnemonic(const std::string& mnemonic)
{
    std::string lower;
    for (char c : mnemonic)
        lower += (char)tolower((unsigned char)c);
    auto it = tables().mnemonics.find(lower);
    return it == tables().mnemonics.end() ? "" : it->second;
}

std::string words_service(int number)
{
    auto it = tables().services.find(number);
    return it == tables().services.end() ? "" : it->second.second;
}

std::string words_service_name(int number)
{
    auto it = tables().services.find(number);
    return it == tables().services.end() ? "" : it->second.first;
}

const std::string& words_service_numbers()
{
    return tables().numbers;
}
