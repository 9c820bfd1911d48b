#pragma once

// SIGTERM and SIGINT as a program's stop request, taken by one waiting thread instead of a
// signal handler, so that the shutdown runs as ordinary code.
namespace platform {

// Blocks both signals in the calling thread and in every thread it starts afterwards; call
// it before any thread is started.
void blockStopSignals();

// Waits until one of them arrives (they must be blocked); returns its number.
int waitForStopSignal();

// The program asks itself to stop (SIGTERM to its own process): the waiting thread wakes as
// for a stop from outside.
void requestStop();

} // namespace platform
