// Fuzz target "dap": the bytes as what a client sends to zorvik-debug
// --dap, framed and dispatched as the adapter does, replies dropped. A
// small program is there to launch; runs are kept short by the budget.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "dap.h"
#include "scratch.h"
#include "debugger.h"
#include "display.h"
#include "parse.h"
#include "services.h"

static void drop(const std::string&) {}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_enter_scratch_dir();
    std::ofstream("p.zvs") << "        lda #0\n        sta $10\nloop    inx\n        jsr bump\n        cpx #3\n"
                              "        bne loop\n        brk\nbump    lda $10\n        adc #7\n        sta $10\n"
                              "        rts\n";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    set_callback(calls);
    SDL_Init(SDL_INIT_VIDEO);
    front = display_open_window();
    dbg_out = fopen("/dev/null", "w");
    dap_set_sink(drop);
    history_limit = 1000;
    run_budget = 2000;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string buffer((const char*)data, size), body;
    while (dap_frame(buffer, body) && dap_dispatch(body)) {
    }
    dap_reset();
    return 0;
}
