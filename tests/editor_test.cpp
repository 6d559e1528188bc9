// The editors' colours name the machine's mnemonics, every one and no
// other: a syntax file cannot ask the machine, so this test does.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "icode.h"

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
    for (int i = 1; op_array[i]; i++)
        machine.insert(op_array[i]);
    EXPECT_EQ(listed, machine);
}
