// The debugger in a web page: zorvik-debug's own engine and its Debug
// Adapter Protocol dispatcher, which the page calls once per message. The
// run of a continue or a step is asynchronous, as a run of the machine is:
// it gives way to the page and waits for frames (pace.cpp).
#include <emscripten.h>

#include <ctime>
#include <string>

#include "dap.h"
#include "debugger.h"
#include "display.h"
#include "halt.h"
#include "random.h"
#include "services.h"
#include "web.h"

extern "C" {
// The page: one message of the adapter, a reply or an event, as JSON text.
void web_dap_send(const char* text, int length);
}

static void web_dap_sink(const std::string& framed)
{
    size_t body = framed.find("\r\n\r\n");
    body = body == std::string::npos ? 0 : body + 4;
    web_dap_send(framed.data() + body, (int)(framed.size() - body));
}

extern "C" {

// The machine's set-up, as zorvik-debug does it, once.
EMSCRIPTEN_KEEPALIVE void web_dap_start()
{
    dbg_seed = (unsigned)time(nullptr);  // a launch names its own seed, or takes the clock's again
    random_seed(dbg_seed);
    set_callback(calls);
    display_shown_hook = pace_shown;
    dbg_replay_install();  // the end of a replayed test's run, after the page's pacing
    front = display_start();
    dap_attach(web_dap_sink);
}

// Handles one request; 0 once the client has disconnected.
EMSCRIPTEN_KEEPALIVE int web_dap(const char* body)
{
    halt_signal = 0;
    pace_start();
    return dap_dispatch(body) ? 1 : 0;
}

}
