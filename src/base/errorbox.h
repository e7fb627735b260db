// Message boxes and the German texts of operating-system error codes.
//
// The core never shows a box itself: it calls ShowInfo, ShowNote and
// AskYesNo here, which hand the request to the installed UserInterface (the
// Qt boxes in the program, scripted answers in tests).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the core asks of the desktop: the three boxes and the pickers.
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Information box (caption "Information", information icon, "OK").
  // The text already carries its leading line breaks.
  virtual void Info(const std::string& text, bool beep) = 0;
  // Plain box (caption "VolKarn", no icon, "OK").
  virtual void Note(const std::string& text) = 0;
  // Question box (caption "Bestätigung", "&Ja" default, Escape "&Nein").
  virtual bool YesNo(const std::string& text) = 0;
  // Modal directory chooser: shows the prompt, starts with `dir` selected
  // when it names an existing directory; on confirm `dir` := chosen path
  // ("/" for the root, otherwise without a trailing "/") and true.
  virtual bool ChooseDirectory(const std::string& prompt, std::string& dir) = 0;
  // File-open dialog with multiple selection starting in initialDir (may be
  // empty). Empty result when cancelled.
  virtual std::vector<std::string> ChooseFiles(const std::string& initialDir) = 0;
  // The default system sound.
  virtual void Beep() = 0;
  // Question box for a step that is hard to undo: "&Ja", and "&Nein" as
  // the default and escape button.
  virtual bool YesNoDefaultNo(const std::string& text) = 0;
  // Question box that may answer for every case still to come: "&Ja",
  // "&Nein" (the default and escape button), "Ja, &alle", "Nein, a&lle".
  enum class AllAnswer { Yes, No, YesAll, NoAll };
  virtual AllAnswer YesNoAll(const std::string& text) = 0;
};

// Installs the interface used by the functions below; nullptr restores the
// silent default (boxes are dropped, questions answered "Nein").
void SetUserInterface(UserInterface* ui);
UserInterface& CurrentUserInterface();

// Puts two line breaks (fewer than 50 characters), one (50 to 99) or none in
// front of a box text. A line break inside a message is a single "\r".
std::string WithLeadingBreaks(const std::string& text);

// beep == 1 plays the default sound first; other values are silent.
void ShowInfo(const std::string& text, std::uint8_t beep);
void ShowNote(const std::string& text);
bool AskYesNo(const std::string& text);
bool AskYesNoDefaultNo(const std::string& text);
UserInterface::AllAnswer AskYesNoAll(const std::string& text);
bool ChooseDirectory(const std::string& prompt, std::string& dir);

// The file-name slot of the error texts: CopyOneFile puts the destination
// followed by one blank here and empties it after a successful copy.
extern std::string CopyTargetName;

// True for the codes of the error table.
bool IsKnownErrorCode(std::int32_t code);
// The message of a code with `fileName` where the table names the file
// (the name as CopyTargetName holds it, followed by one blank); for a code
// outside the table "<code>: Unbekannter Fehlercode". Shows nothing.
std::string ErrorText(std::int32_t code, const std::string& fileName);
// The one text that tells a file could not be written: what the file is
// ("Das Protokoll", "Die Datei" ...), its path and the reason of the code.
std::string WriteFailureText(const std::string& what, const std::string& path, int code);
// The interface of the error boxes: sets `text` to ErrorText of a known
// code with CopyTargetName; for an unknown code shows that text with
// ShowNote and leaves `text` unchanged. Empties CopyTargetName in both
// cases.
void OsErrorText(std::int32_t code, std::string& text);
// Shows the message of a code with ShowNote.
void ShowOsError(std::uint32_t code);
