// The player's keys: function keys, which games rarely use. SDL hands each
// event to the filter before it queues it; the player's keys are taken out
// there, so the program never sees them, and the rest go on to the queue.
// Every press counts, also the second of two in one frame.
#include "play.h"

struct play_key {
    SDLKey key;
    play_action action;
    const char* name;
    const char* help;
};

static const play_key play_keys[] = {
    {SDLK_F1, PLAY_HELP, "F1", "list these keys on standard error"},
    {SDLK_F5, PLAY_RESTART, "F5", "start the program again from its first statement"},
    {SDLK_F6, PLAY_PAUSE, "F6", "pause, or go on"},
    {SDLK_F7, PLAY_STEP, "F7", "while paused, one frame forward; while running, pause"},
    {SDLK_F8, PLAY_FAST, "F8", "fast-forward while held: frames do not wait"},
    {SDLK_F9, PLAY_RECORD, "F9", "start a GIF recording; again, stop it and write PROGRAM-N.gif"},
    {SDLK_F10, PLAY_KEEP, "F10", "keep the run so far as a test beside the program: PROGRAM-N.test and its files"},
    {SDLK_F11, PLAY_FULLSCREEN, "F11", "full screen, or back to the window"},
    {SDLK_F12, PLAY_SHOT, "F12", "write the frame shown as PROGRAM-N.png"},
};

static play_action play_key_action(SDLKey key)
{
    for (const play_key& k : play_keys)
        if (k.key == key)
            return k.action;
    return PLAY_NONE;
}

void play_keys_list(FILE* out, const char* indent)
{
    for (const play_key& k : play_keys)
        fprintf(out, "%s%-5s%s\n", indent, k.name, k.help);
}

// A key of the player's going down: what it asks is noted for the next
// frame, or for the pause that is waiting; a restart stops the run at once.
static void play_key_down(play_action action)
{
    switch (action) {
    case PLAY_HELP: play.help++; break;
    case PLAY_RESTART: play_restart(PLAY_AGAIN_KEY); break;
    case PLAY_PAUSE: play.paused = !play.paused; break;
    case PLAY_STEP:
        if (play.paused)
            play.step++;
        play.paused = true;
        break;
    case PLAY_FAST: play.fast = true; break;
    case PLAY_RECORD: play.record++; break;
    case PLAY_FULLSCREEN: play.fullscreen++; break;
    case PLAY_SHOT: play.shot++; break;
    case PLAY_KEEP: play.keep++; break;
    case PLAY_NONE: break;
    }
}

// The window's closing stays queued for the program's poll; it is noted
// here too, as the program may take it before the player looks. The
// program's keys go on to the queue and are noted for a kept run. Nothing
// else reaches the program: a replay of the run has no such events, and
// each would use up one of the program's polls. An uncovered window is
// drawn again by the player (play_idle).
int play_keys_filter(const SDL_Event* event)
{
    if (event->type == SDL_QUIT) {
        play.closed = true;
        return 1;
    }
    if (event->type == SDL_VIDEOEXPOSE)
        play.exposed = true;
    if (event->type != SDL_KEYDOWN && event->type != SDL_KEYUP)
        return 0;
    play_action action = play_key_action(event->key.keysym.sym);
    if (action == PLAY_NONE) {
        play_keep_event(event);
        return 1;
    }
    if (event->type == SDL_KEYDOWN)
        play_key_down(action);
    else if (action == PLAY_FAST)
        play.fast = false;
    return 0;
}
