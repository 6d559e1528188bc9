// Coverage in lcov's tracefile format, from the counts a counting run kept
// per cell: lines that start statements, the labels jsr reaches, branches
// taken and not taken. Each run gives a record; the records of all runs are
// merged into one file.
#include <algorithm>
#include <map>
#include <sstream>

#include "decode.h"
#include "lex.h"
#include "parse.h"
#include "position.h"
#include "symtab.h"
#include "ztest.h"

static bool is_branch(int op)
{
    return op >= OP_BCC && op <= OP_BVS;
}

// What one record says of its source, keyed as lcov keys it.
struct cover_record {
    std::map<long long, uint64_t> lines;                      // DA: line to count
    std::map<std::string, long long> functions;               // FN: name to line
    std::map<std::string, uint64_t> entries;                  // FNDA: name to count
    std::map<std::string, std::pair<bool, uint64_t>> branches;  // BRDA "line,block,branch" to (run, count)
};

static std::string lcov_text(const std::string& path, const cover_record& c)
{
    std::ostringstream out;
    out << "TN:\nSF:" << path << "\n";
    size_t hit = 0;
    for (const auto& [name, line] : c.functions)
        out << "FN:" << line << "," << name << "\n";
    for (const auto& [name, count] : c.entries) {
        out << "FNDA:" << count << "," << name << "\n";
        hit += count > 0;
    }
    out << "FNF:" << c.functions.size() << "\nFNH:" << hit << "\n";
    hit = 0;
    // lcov orders branches by line, then block and branch.
    std::vector<std::pair<std::vector<long long>, std::pair<bool, uint64_t>>> branches;
    for (const auto& [key, value] : c.branches) {
        std::vector<long long> parts;
        std::istringstream words(key);
        for (std::string part; std::getline(words, part, ',');)
            parts.push_back(std::stoll(part));
        branches.push_back({parts, value});
    }
    std::sort(branches.begin(), branches.end());
    for (const auto& [parts, value] : branches) {
        out << "BRDA:" << parts[0] << "," << parts[1] << "," << parts[2] << ",";
        if (value.first)
            out << value.second;
        else
            out << "-";
        out << "\n";
        hit += value.first && value.second > 0;
    }
    out << "BRF:" << c.branches.size() << "\nBRH:" << hit << "\n";
    hit = 0;
    for (const auto& [line, count] : c.lines) {
        out << "DA:" << line << "," << count << "\n";
        hit += count > 0;
    }
    out << "LF:" << c.lines.size() << "\nLH:" << hit << "\nend_of_record\n";
    return out.str();
}

void ztest_cover(const std::string& path, const std::string& text, const std::vector<lex_note>& notes,
                 ztest_result& r, bool want_lcov, bool want_lines)
{
    std::vector<long long> starts = position_line_starts(text);
    cover_record c;
    std::map<long long, uint64_t> statements;  // every statement's passes, by line
    std::map<long long, int> branches_on_line;
    std::map<const token_cell*, long long> label_line;
    size_t i = 0;
    for (token_cell* cell = symbols.head; cell; cell = cell->next_cell, i++) {
        if (i >= notes.size() || cell->number >= run_counts.size())
            break;
        const run_count& n = run_counts[cell->number];
        long long line = position_locate(starts, notes[i].start).line;
        int op = cell->code.op;
        if (cell->tok->label == cell)
            label_line[cell] = line;
        if (op == OP_PASS)
            continue;
        statements[line] += n.passes;
        c.lines.emplace(line, n.passes);  // the line's first statement
        if (is_branch(op)) {
            int block = branches_on_line[line]++;
            std::string key = std::to_string(line) + "," + std::to_string(block) + ",";
            c.branches[key + "0"] = {n.passes > 0, n.taken};
            c.branches[key + "1"] = {n.passes > 0, n.passes - n.taken};
        }
    }
    // A function is a label that a jsr goes to; it was entered as often as
    // those jsrs ran.
    for (token_cell* cell = symbols.head; cell; cell = cell->next_cell) {
        if (cell->code.op != OP_JSR || !cell->code.to || cell->code.to->tok->label != cell->code.to)
            continue;
        auto at = label_line.find(cell->code.to);
        if (at == label_line.end() || cell->number >= run_counts.size())
            continue;
        std::string name = cell->code.to->tok->lexeme;
        c.functions[name] = at->second;
        c.entries[name] += run_counts[cell->number].passes;
    }
    if (want_lcov)
        r.lcov = lcov_text(path, c);
    if (want_lines)
        for (const auto& [line, count] : statements)
            if (count)
                r.lines += path + ":" + std::to_string(line) + " " + std::to_string(count) + "\n";
}

// Adds one tracefile's records to the merged ones, by source file.
static void merge_into(std::map<std::string, cover_record>& all, const std::string& text)
{
    std::istringstream in(text);
    cover_record* c = nullptr;
    for (std::string line; std::getline(in, line);) {
        size_t colon = line.find(':');
        std::string key = line.substr(0, colon), value = colon == std::string::npos ? "" : line.substr(colon + 1);
        size_t comma = value.find(',');
        if (key == "SF") {
            c = &all[value];
        } else if (!c || comma == std::string::npos) {
            continue;
        } else if (key == "DA") {
            c->lines[std::stoll(value.substr(0, comma))] += std::stoull(value.substr(comma + 1));
        } else if (key == "FN") {
            c->functions[value.substr(comma + 1)] = std::stoll(value.substr(0, comma));
        } else if (key == "FNDA") {
            c->entries[value.substr(comma + 1)] += std::stoull(value.substr(0, comma));
        } else if (key == "BRDA") {
            size_t last = value.rfind(',');
            auto& b = c->branches[value.substr(0, last)];
            std::string count = value.substr(last + 1);
            if (count != "-") {
                b.first = true;
                b.second += std::stoull(count);
            }
        }
    }
}

std::string ztest_merge_lcov(const std::vector<std::string>& records)
{
    std::map<std::string, cover_record> all;
    for (const std::string& text : records)
        merge_into(all, text);
    std::string out;
    for (const auto& [path, c] : all)
        out += lcov_text(path, c);
    return out;
}
