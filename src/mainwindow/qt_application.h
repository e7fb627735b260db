// The application-wide settings of the program, shared by the program's
// start and the window tests.
#pragma once

class QApplication;

// Application title, Qt's own German texts for its dialogs and boxes, and
// the rule that only the main window ends the program (no other window's
// close does). True when Qt's German translations were found.
bool SetUpApplication(QApplication& app);
