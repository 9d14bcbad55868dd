// COMMTIMEOUTS as Microsoft documents them, as a table of reads: the time-outs, how many
// bytes are asked for, when bytes arrive, and what the read returns and when. Written
// once, run against the layer's scripted line (on a virtual clock, to the millisecond),
// against a pseudo-terminal, and under Wine on a pseudo-terminal.
#pragma once

#include "platform/win32.h"

struct Arrival {
    int at;    // ms after the read starts; 0: there before it starts
    int bytes; // how many arrive then
};

struct TimeoutCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    DWORD count;         // bytes asked for
    Arrival arrivals[4]; // in time order, ended by {0, 0}
    DWORD bytes;         // what the read returns
    int ms;              // when it returns
};

// clang-format off
const TimeoutCase kTimeoutCases[] = {
    {"MAXDWORD interval, no totals: returns at once with nothing",
     {MAXDWORD, 0, 0, 0, 0}, 4, {{0, 0}}, 0, 0},
    {"MAXDWORD interval, no totals: returns at once with what is there",
     {MAXDWORD, 0, 0, 0, 0}, 4, {{0, 2}, {50, 2}, {0, 0}}, 2, 0},
    {"MAXDWORD interval and multiplier: waits up to the constant for a first byte",
     {MAXDWORD, MAXDWORD, 200, 0, 0}, 4, {{0, 0}}, 0, 200},
    {"MAXDWORD interval and multiplier: returns as the first byte comes",
     {MAXDWORD, MAXDWORD, 500, 0, 0}, 4, {{60, 1}, {200, 3}, {0, 0}}, 1, 60},
    {"MAXDWORD interval and multiplier: returns at once with what is there",
     {MAXDWORD, MAXDWORD, 500, 0, 0}, 4, {{0, 2}, {100, 2}, {0, 0}}, 2, 0},
    {"a total constant ends a read that has not filled",
     {0, 0, 300, 0, 0}, 4, {{50, 1}, {0, 0}}, 1, 300},
    {"a total of multiplier times count plus constant",
     {0, 100, 100, 0, 0}, 4, {{0, 0}}, 0, 500},
    {"a read that fills returns before its total",
     {0, 0, 300, 0, 0}, 4, {{50, 2}, {100, 2}, {0, 0}}, 4, 100},
    {"the interval between bytes ends a read",
     {100, 0, 0, 0, 0}, 8, {{50, 1}, {100, 1}, {150, 1}, {0, 0}}, 3, 250},
    {"the interval ends a read before its total",
     {100, 0, 1000, 0, 0}, 8, {{50, 1}, {120, 1}, {190, 1}, {0, 0}}, 3, 290},
    {"the total ends a read before its interval",
     {100, 0, 220, 0, 0}, 8, {{50, 1}, {120, 1}, {190, 1}, {0, 0}}, 3, 220},
    {"totals beyond 32 bits and an int of ms do not wrap",
     {0, MAXDWORD, MAXDWORD, 0, 0}, 4, {{100, 4}, {0, 0}}, 4, 100},
    {"no time-outs: the read waits until it fills",
     {0, 0, 0, 0, 0}, 4, {{80, 4}, {0, 0}}, 4, 80},
    {"a MAXDWORD interval with a constant alone is a total",
     {MAXDWORD, 0, 200, 0, 0}, 4, {{50, 1}, {0, 0}}, 1, 200},
};
// clang-format on
const int kTimeoutCaseCount = static_cast<int>(sizeof kTimeoutCases / sizeof kTimeoutCases[0]);
