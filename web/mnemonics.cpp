// Prints the machine's mnemonics as a JSON array, run at build time for the
// editor's colours: the page takes them from the machine's own table.
#include <cstdio>

#include "icode.h"

int main()
{
    printf("[");
    for (int i = 1; op_array[i]; i++)
        printf("%s\"%s\"", i > 1 ? "," : "", op_array[i]);
    printf("]\n");
    return 0;
}
