// Resource identifiers of the Tallowbrisk cleaner.
#pragma once

#define IDD_MAIN 129
#define IDI_APP 130
#define IDS_OUTLOOK_CAPTION 103
#define IDS_OUTLOOK_TEXT 115

// The program's version, as the version block and an unattended run's summary line give it.
#define CLEANER_VERSION "1.15.1"
