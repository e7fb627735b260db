#include "base/errorbox.h"

#include "base/codepage.h"
#include "platform/platform.h"

std::string CopyTargetName;

namespace {

// Used while no desktop is installed: boxes are dropped, questions are
// answered "Nein", pickers are cancelled.
class SilentUserInterface : public UserInterface {
 public:
  void Info(const std::string&, bool) override {}
  void Note(const std::string&) override {}
  bool YesNo(const std::string&) override { return false; }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  std::vector<std::string> ChooseFiles(const std::string&) override { return {}; }
  void Beep() override {}
  bool YesNoDefaultNo(const std::string&) override { return false; }
  AllAnswer YesNoAll(const std::string&) override { return AllAnswer::No; }
};

UserInterface* installed = nullptr;

std::string UnknownCodeText(const std::string& digits) {
  return digits + ": Unbekannter Fehlercode";
}

// The message of a known code; false for a code outside the table.
bool TableText(std::int32_t code, const std::string& n, std::string& text) {
  const std::string digits = std::to_string(code);
  switch (code) {
    case 0:
      text = digits + " The operating system is out of memory or resources.";
      return true;
    case 2:
      text = "Die Datei oder das Verzeichnis wurde nicht gefunden.";
      return true;
    case 3:
      text = "Das Verzeichnis wurde nicht gefunden.";
      return true;
    case 5:
      text = "Auf die Datei " + n + " ist kein Zugriff möglich.";
      return true;
    case 8:
      text = digits + " There was not enough memory to complete the operation.";
      return true;
    case 11:
      text = digits + " The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
      return true;
    case 19:
      text = "Fehler: " + n + " ist schreibgeschützt.";
      return true;
    case 21:
      text = "Das Gerät ist nicht bereit.";
      return true;
    case 26:
      text = digits + " A sharing violation occurred.";
      return true;
    case 27:
      text = digits + " The filename association is incomplete or invalid.";
      return true;
    case 29:
      text = digits + " The DDE transaction failed.";
      return true;
    case 30:
      text = digits +
             " The DDE transaction could not be completed because other DDE transactions were "
             "being processed.";
      return true;
    case 31:
      text = digits + " There is no application associated with the given filename extension.";
      return true;
    case 32:
      text = n + "\r" +
             "Auf die Zieldatei ist kein Zugriff möglich. Sie ist vermutlich in Bearbeitung.";
      return true;
    case 80:
      text = "Die Datei " + n + "existiert bereits.";
      return true;
    case 50:
      text = "Das Ziel kann keine symbolischen Verknüpfungen aufnehmen.";
      return true;
    case 112:
      text = "Der Datenträger ist voll.";
      return true;
    case 123:
      text = "Das Ziel nimmt den Dateinamen " + n + "nicht an.";
      return true;
    case 223:
      text = "Die Datei " + n + "ist für diesen Datenträger zu groß.";
      return true;
    case 267:
      text = "Verzeichnis-Fehler";
      return true;
    default:
      return false;
  }
}

}  // namespace

void SetUserInterface(UserInterface* ui) { installed = ui; }

UserInterface& CurrentUserInterface() {
  static SilentUserInterface silent;
  return installed ? *installed : silent;
}

std::string WithLeadingBreaks(const std::string& text) {
  std::size_t length = text::Length(text);
  if (length < 50) return "\r\r" + text;
  if (length < 100) return "\r" + text;
  return text;
}

void ShowInfo(const std::string& text, std::uint8_t beep) {
  UserInterface& ui = CurrentUserInterface();
  if (beep == 1) ui.Beep();
  ui.Info(WithLeadingBreaks(text), beep == 1);
}

void ShowNote(const std::string& text) { CurrentUserInterface().Note(WithLeadingBreaks(text)); }

bool AskYesNo(const std::string& text) { return CurrentUserInterface().YesNo(text); }

bool AskYesNoDefaultNo(const std::string& text) {
  return CurrentUserInterface().YesNoDefaultNo(text);
}

UserInterface::AllAnswer AskYesNoAll(const std::string& text) {
  return CurrentUserInterface().YesNoAll(text);
}

bool ChooseDirectory(const std::string& prompt, std::string& dir) {
  // A directory that does not exist is forgotten before the picker opens,
  // and stays forgotten when the user cancels.
  if (!platform::DirExists(dir)) dir.clear();
  return CurrentUserInterface().ChooseDirectory(prompt, dir);
}

bool IsKnownErrorCode(std::int32_t code) {
  std::string unused;
  return TableText(code, std::string(), unused);
}

std::string ErrorText(std::int32_t code, const std::string& fileName) {
  std::string text;
  if (!TableText(code, fileName, text)) text = UnknownCodeText(std::to_string(code));
  return text;
}

std::string WriteFailureText(const std::string& what, const std::string& path, int code) {
  std::string reason;
  switch (code) {
    case platform::kErrPathNotFound:
      reason = "Das Verzeichnis wurde nicht gefunden.";
      break;
    case platform::kErrAccessDenied:
      reason = "Es ist kein Zugriff möglich.";
      break;
    case platform::kErrWriteProtect:
      reason = "Der Datenträger ist schreibgeschützt.";
      break;
    case platform::kErrDiskFull:
      reason = "Der Datenträger ist voll.";
      break;
    default:
      reason = "Fehlercode " + std::to_string(code);
      break;
  }
  return what + "\r" + path + "\rkonnte nicht geschrieben werden.\r" + reason;
}

void OsErrorText(std::int32_t code, std::string& text) {
  if (IsKnownErrorCode(code))
    text = ErrorText(code, CopyTargetName);
  else
    ShowNote(ErrorText(code, CopyTargetName));
  CopyTargetName.clear();
}

void ShowOsError(std::uint32_t code) {
  if (code <= 0x7FFFFFFFu && IsKnownErrorCode(static_cast<std::int32_t>(code))) {
    std::string text;
    OsErrorText(static_cast<std::int32_t>(code), text);
    ShowNote(text);
  } else {
    ShowNote(UnknownCodeText(std::to_string(code)));
  }
}
