// The ids of quorvel-ports' texts, in tools/quorvel-ports/texts.rc (English) and in every
// language of po/.
#pragma once

namespace ports {

enum Text : unsigned {
    kTextListingHeading = 2001,
    kTextCannotUse = 2002,
    kTextNotKnownProbe = 2003, // %s: the port
    kTextCanUseIfItOpens = 2004,
    kTextCanUse = 2005,
    kTextAccessYes = 2006,
    kTextAccessNo = 2007,            // %s: the system's words
    kTextAccessNotYetInLogin = 2008, // %s %s: the system's words, the group
    kTextAccessJoinGroup = 2009,     // %s %s: the system's words, the group
    kTextNoHolder = 2010,
    kTextNoHolderVisible = 2011,
    kTextHolders = 2012, // %s: the programs
    kTextNotLookedAt = 2013,
    kTextNoPortListed = 2014,
    kTextLeftOut = 2015,
    kTextOnThisSystem = 2016,
    kTextNoSurePort = 2017, // %s: the port to probe
    kTextNoUsableSeeAbove = 2018,
    kTextNoUsablePlugIn = 2019,
    kTextNoUsable = 2020,
    kTextOneUsable = 2021,  // %s %s: the port, the port to probe
    kTextSomeUsable = 2022, // %d %s %s: how many, the ports, the port to probe
    kTextBrltty = 2030,     // %s: the rule's file
    kTextBrlttyFix = 2031,  // %s: its name
    kTextModemManager = 2032,
    kTextModemManagerFix = 2033,
    kTextGroupNotYet = 2034,      // %s: the group
    kTextGroupNotYetFix = 2035,   // %s: the group
    kTextNotInGroup = 2036,       // %s %s: the user, the group
    kTextNotInGroupFix = 2037,    // %s %s: the user, the group
    kTextNotASerialGroup = 2038,  // %s %s: the device, its group
    kTextUdevRuleFix = 2039,      // %s %s: the devices' names (ttyUSB*), the user
    kTextAccessOtherGroup = 2042, // %s %s: the system's words, the group
    kTextNoPortSeenLinux = 2040,
    kTextNoPortSeenWindows = 2041,
    kTextProbeWoken = 2050, // %s %u %s %u
    kTextEchoed = 2051,
    kTextNoEcho = 2052,
    kTextNoAnswer = 2053,
    kTextNoEchoAfter = 2054,
    kTextReadings = 2055,
    kTextFaults = 2056, // %s
    kTextNoFaults = 2057,
    kTextAllAnswered = 2058,
    kTextSomeAnswered = 2059, // %d
    kTextDoesNotEcho = 2060,
    kTextEcuSilent = 2061,
    kTextChipMayBeTheCause = 2062, // %s
    kTextNothingBack = 2063,
    kTextChipDoubt = 2064,   // %s %s: the chip, its note
    kTextRateRefused = 2070, // %s %s: the port, the system's words
    kTextRateRefusedWhy = 2071,
    kTextCannotOpen = 2072, // %s %s: the port, the system's words
    kTextCannotOpenWhat = 2073,
    kTextPressEnter = 2090,
};

// The probe's readings by name, in the order of the log's columns (kLoggedReadings).
const unsigned kTextReadingNames[9] = {
    2080, // engine speed
    2081, // water temperature
    2082, // air temperature
    2083, // throttle angle
    2084, // injector time
    2085, // ignition advance
    2086, // battery voltage
    2087, // manifold pressure
    2088, // VAE
};

} // namespace ports
