// The ids of the texts the window shows, in the string table of app/texts.rc (English)
// and of every language the build adds from po/. Loaded with LoadStringA, in the user's
// language.
#pragma once

#include "platform/win32.h"

// Boxes: their texts and captions.
const UINT kTextPortListFailed = 1001;
const UINT kTextError = 1002;
const UINT kTextNoPorts = 1003;
const UINT kTextPortErrorCaption = 1004;
const UINT kTextPortMissing = 1005;
const UINT kTextSerialPortError = 1006;
const UINT kTextRateRefused = 1007; // %s%s (the system's words and a gap), then %u (the rate)
const UINT kTextOpenFailed = 1008;  // %s%s (the system's words and a gap)
const UINT kTextLogWriteFailed = 1009;
const UINT kTextFileError = 1010;
const UINT kTextLogOpenFailed = 1011;
const UINT kTextUnknownError = 1012;
// Why the log could not be opened, after kTextLogOpenFailed.
const UINT kTextLogHeld = 1013;     // %s: the log's name
const UINT kTextLogFolder = 1014;   // %s: the folder
const UINT kTextLogCannotBe = 1015; // %s %s: the log's name, the system's words
// What keeps the readings from moving, after the title.
const UINT kTextNoAnswer = 1101;
const UINT kTextLeadGone = 1102;
const UINT kTextNoAnswerChipDoubtful = 1103;
// The gauges' names and units.
const UINT kTextRevs = 1201;
const UINT kTextAir = 1202;
const UINT kTextPressure = 1203;
const UINT kTextThrottle = 1204;
const UINT kTextVolts = 1205;
const UINT kTextInjector = 1206;
const UINT kTextInjTiming = 1207;
const UINT kTextAdvance = 1208;
const UINT kTextVae = 1209;
const UINT kTextWater = 1210;
const UINT kTextRpm = 1221;
const UINT kTextCelsius = 1222;
const UINT kTextMillibar = 1223;
const UINT kTextDegrees = 1224;
const UINT kTextVoltUnit = 1225;
const UINT kTextMilliseconds = 1226;
const UINT kTextPercent = 1227;
// The fault panel's texts for each entry of kFaultEntries, in its order: its name, its text
// with the fault present as a short circuit, and as an open circuit.
const UINT kTextFaults[11][3] = {
    {1301, 1302, 1303}, // throttle position sensor
    {1304, 1305, 1306}, // pressure sensor
    {1307, 1308, 1309}, // lambda sensor
    {1310, 1311, 1312}, // water temp sensor
    {1313, 1314, 1315}, // air temp sensor
    {1316, 1317, 1318}, // battery voltage
    {1319, 1320, 1321}, // injector driver
    {1322, 1323, 1324}, // spark coil 1
    {1325, 1326, 1327}, // spark coil 2
    {1328, 1329, 1330}, // stepper motor
    {1331, 1332, 1333}, // crank sensor
};
