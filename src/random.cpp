// The machine's random numbers: the C library's natively, a generator with
// glibc's sequence in the page (random.h).
#include "random.h"

#include <cstdlib>
#include <ctime>

constexpr int GLIBC_WORDS = 34;
constexpr int GLIBC_FAR = 31;   // the sum is of the words 31 and 3 back
constexpr int GLIBC_NEAR = 3;
constexpr int GLIBC_DISCARDED = 310;

// The word written `back` outputs ago.
static uint32_t glibc_back(const random_glibc& g, int back)
{
    return (uint32_t)g.words[(g.next - back + GLIBC_WORDS) % GLIBC_WORDS];
}

static uint32_t glibc_step(random_glibc& g)
{
    uint32_t word = glibc_back(g, GLIBC_FAR) + glibc_back(g, GLIBC_NEAR);
    g.words[g.next] = (int32_t)word;
    g.next = (g.next + 1) % GLIBC_WORDS;
    return word;
}

void random_glibc_seed(random_glibc& g, unsigned seed)
{
    // The first 31 words by the multiplicative rule, in 64 bits so that
    // the product cannot overflow; 0 would stay 0, so it acts as 1.
    int32_t s = seed == 0 ? 1 : (int32_t)seed;
    g.words[0] = s;
    for (int i = 1; i < GLIBC_FAR; i++) {
        int64_t w = (16807 * (int64_t)g.words[i - 1]) % 2147483647;
        if (w < 0)
            w += 2147483647;
        g.words[i] = (int32_t)w;
    }
    // The next three repeat the first three; then outputs start.
    for (int i = GLIBC_FAR; i < GLIBC_WORDS; i++)
        g.words[i] = g.words[i - GLIBC_FAR];
    g.next = 0;
    for (int i = 0; i < GLIBC_DISCARDED; i++)
        glibc_step(g);
}

int random_glibc_next(random_glibc& g)
{
    return (int)(glibc_step(g) >> 1);
}

#ifdef ZORVIK_WEB
static random_glibc random_state;

void random_seed(unsigned seed)
{
    random_glibc_seed(random_state, seed);
}

int random_next()
{
    return random_glibc_next(random_state);
}
#else
void random_seed(unsigned seed)
{
    srand(seed);
}

int random_next()
{
    return rand();
}
#endif

static bool random_fixed = false;
static unsigned random_fixed_seed = 0;

void random_seed_from_clock()
{
    random_seed(random_fixed ? random_fixed_seed : (unsigned)time(nullptr));
}

void random_fix_seed(bool fixed, unsigned seed)
{
    random_fixed = fixed;
    random_fixed_seed = seed;
}
