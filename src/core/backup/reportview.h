// The offer at the end of a run with errors: "Es sind Fehler aufgetreten.
// Wollen Sie die entsprechenden Meldungen ansehen?" and, on "Ja", the
// report opened in the desktop's text editor.
#pragma once

#include <string>

// Asks through the UserInterface port and opens the report on "Ja" (the
// command line's console answers "Nein"). True when the user chose to look.
bool OfferReportView(const std::string& reportPath);
