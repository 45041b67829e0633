#pragma once

#include <cstdio>

// Whether a stream is an interactive terminal (progress bars only make
// sense there).
bool isTerminal(std::FILE* stream);

// Catches Ctrl-C and termination requests, so a render can stop between
// blocks and clean up instead of leaving a half-written file behind.
void catchInterrupts();
bool interruptRequested();
