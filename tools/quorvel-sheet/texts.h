// The ids of quorvel-sheet's texts, in tools/quorvel-sheet/texts.rc (English) and in every
// language of po/.
#pragma once

namespace sheet {

enum Text : unsigned {
    kTextReadingHeading = 3501, // %s %s: the gauge's name, its units
    kTextGaugeHeading = 3502,   // %s: the gauge's name
    kTextFaultHeading = 3503,   // %d: 1 to 3
    kTextCannotRead = 3510,     // %s %s: the file, why
    kTextNotALog = 3511,        // %s: the file
    kTextNoLines = 3512,        // %s: the file
    kTextThereAlready = 3513,   // %s: the copy
    kTextIsALog = 3514,         // %s: the copy
    kTextCannotWrite = 3515,    // %s %s: the copy, why
    kTextWrote = 3516,          // %s %d %s %s: the copy, polls, decimal and list separators
    kTextLeftOut = 3517,        // %d: how many lines
    kTextTab = 3518,
    kTextNoViewer = 3519, // %s: the copy
};

} // namespace sheet
