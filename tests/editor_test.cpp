// The editors' colours name the machine's mnemonics, every one and no
// other: a syntax file cannot ask the machine, so this test does.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "icode.h"

static std::set<std::string> machine_mnemonics()
{
    std::set<std::string> names;
    for (int i = 1; op_array[i]; i++)
        names.insert(op_array[i]);
    return names;
}

TEST(EditorFiles, VimMnemonicsAreTheMachines)
{
    std::ifstream file(ZORVIK_SOURCE_DIR "/editor/vim/syntax/zorvik.vim");
    ASSERT_TRUE(file);
    std::set<std::string> listed, machine;
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string a, b, group;
        if (!(words >> a >> b >> group) || a != "syntax" || b != "keyword" || group != "zorvikMnemonic")
            continue;
        for (std::string w; words >> w;)
            listed.insert(w);
    }
    machine = machine_mnemonics();
    EXPECT_EQ(listed, machine);
}

TEST(EditorFiles, VscodeGrammarMnemonicsAreTheMachines)
{
    std::ifstream file(ZORVIK_SOURCE_DIR "/editor/vscode/syntaxes/zorvik.tmLanguage.json");
    ASSERT_TRUE(file);
    std::string match = nlohmann::json::parse(file)["repository"]["mnemonic"]["match"];
    // The pattern is (?i)\b(?:adc|and|...)\b: the names stand between "(?:" and ")".
    size_t from = match.find("(?:"), to = match.find(')', from);
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    std::set<std::string> listed;
    std::istringstream names(match.substr(from + 3, to - from - 3));
    for (std::string n; std::getline(names, n, '|');)
        listed.insert(n);
    EXPECT_EQ(listed, machine_mnemonics());
}
