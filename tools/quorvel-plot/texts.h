// The ids of quorvel-plot's texts, in tools/quorvel-plot/texts.rc (English) and in every
// language of po/.
#pragma once

namespace plot {

enum Text : unsigned {
    kTextEnded = 3001,      // %s: the date and time
    kTextOnePoll = 3002,    // %s: how long
    kTextPolls = 3003,      // %s %d: how long, how many polls
    kTextUnreadable = 3004, // %d: how many lines
    kTextFitted = 3005,
    kTextAxisMinutes = 3006,
    kTextAxisHours = 3007,
    kTextHours = 3008,   // %ld %ld %ld
    kTextMinutes = 3009, // %ld %ld
    kTextSeconds = 3010, // %ld
    kTextPollEvery = 3011,
    kTextCannotRead = 3020,    // %s %s: the file, why
    kTextNotALog = 3021,       // %s: the file
    kTextNoLines = 3023,       // %s: the file
    kTextCannotWrite = 3024,   // %s %s: the picture, why
    kTextWrote = 3025,         // %s %s %d %s: the picture, how long, polls, what was left out
    kTextLeftOutAsGaps = 3026, // %d: how many lines
    kTextNoViewer = 3027,      // %s: the picture
};

} // namespace plot
