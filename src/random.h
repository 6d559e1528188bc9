// The machine's random numbers (services 23 and 24). Natively they are the
// C library's rand() after srand(seed), as they always were; the page's C
// library has another generator, so there the same sequence comes from
// random_glibc, which gives what glibc's rand() gives after srand(seed).
// A run is then the same for one seed natively and in the page.
#pragma once
#include <cstdint>

// Starts the sequence from `seed`.
void random_seed(unsigned seed);
// The next number of the sequence, 0 to 2^31 - 1.
int random_next();

// Seeds from the clock, as a run of the machine's shell starts, unless a
// front end has fixed the seed of the runs it starts (random_fix_seed).
void random_seed_from_clock();
// The seed the shell's later runs start from, or the clock again when
// `fixed` is false.
void random_fix_seed(bool fixed, unsigned seed);

// glibc's default rand(): an additive feedback generator over 34 words,
// seeded by the multiplicative rule 16807 * s mod (2^31 - 1), with its first
// 310 outputs discarded. Built everywhere, so that a native test can hold it
// to the C library's rand().
struct random_glibc {
    int32_t words[34];
    int next;  // the word written next, cyclically
};

void random_glibc_seed(random_glibc& g, unsigned seed);
int random_glibc_next(random_glibc& g);
