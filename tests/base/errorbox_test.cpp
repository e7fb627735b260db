#include "base/errorbox.h"

#include <gtest/gtest.h>

#include "support/core_support.h"

namespace {

class ErrorTexts : public ::testing::Test {
 protected:
  void TearDown() override { CopyTargetName.clear(); }
  vktest::ScriptedUi ui_;
};

TEST_F(ErrorTexts, LeadingLineBreaksCountCharacters) {
  EXPECT_EQ(WithLeadingBreaks(std::string(49, 'a')), "\r\r" + std::string(49, 'a'));
  EXPECT_EQ(WithLeadingBreaks(std::string(50, 'a')), "\r" + std::string(50, 'a'));
  EXPECT_EQ(WithLeadingBreaks(std::string(99, 'a')), "\r" + std::string(99, 'a'));
  EXPECT_EQ(WithLeadingBreaks(std::string(100, 'a')), std::string(100, 'a'));
  // 49 umlauts are 98 bytes but 49 characters.
  std::string umlauts;
  for (int i = 0; i < 49; ++i) umlauts += "ä";
  EXPECT_EQ(WithLeadingBreaks(umlauts), "\r\r" + umlauts);
}

TEST_F(ErrorTexts, BoxesGoToTheInstalledInterface) {
  ShowInfo("Hallo", 1);
  ShowInfo("Still", 0);
  ShowInfo("Auch still", 2);
  ShowNote("Notiz");
  ui_.answers = {true};
  EXPECT_TRUE(AskYesNo("Wirklich?"));
  EXPECT_FALSE(AskYesNo("Nochmal?"));  // closed without "Ja"
  ASSERT_EQ(ui_.boxes.size(), 6u);
  EXPECT_EQ(ui_.beeps, 1);
  EXPECT_EQ(ui_.boxes[0].kind, "info");
  EXPECT_EQ(ui_.boxes[0].text, "\r\rHallo");
  EXPECT_TRUE(ui_.boxes[0].beep);
  EXPECT_FALSE(ui_.boxes[2].beep);
  EXPECT_EQ(ui_.boxes[3].kind, "note");
  EXPECT_EQ(ui_.boxes[3].text, "\r\rNotiz");
  EXPECT_EQ(ui_.boxes[4].text, "Wirklich?");  // questions get no breaks
}

TEST(ErrorBoxDefault, WithoutAnInterfaceBoxesAreDroppedAndAnswersAreNo) {
  ShowInfo("x", 1);
  EXPECT_FALSE(AskYesNo("x"));
  std::string dir = "/";
  EXPECT_FALSE(ChooseDirectory("x", dir));
}

TEST_F(ErrorTexts, ChooseDirectoryForgetsAMissingStart) {
  std::string dir = "/gibt/es/nicht";
  EXPECT_FALSE(ChooseDirectory("Bitte wählen", dir));
  EXPECT_EQ(dir, "");
  vktest::TempDir t;
  dir = t.path();
  ui_.directories = {"/media/usb"};
  EXPECT_TRUE(ChooseDirectory("Bitte wählen", dir));
  EXPECT_EQ(dir, "/media/usb");
  EXPECT_EQ(ui_.prompts.back(), "Bitte wählen");
}

TEST_F(ErrorTexts, TableTextsWithTheFileName) {
  std::string text;
  CopyTargetName = "/Sich/a.txt ";
  OsErrorText(5, text);
  EXPECT_EQ(text, "Auf die Datei /Sich/a.txt  ist kein Zugriff möglich.");
  EXPECT_EQ(CopyTargetName, "");
  CopyTargetName = "/Sich/a.txt ";
  OsErrorText(80, text);
  EXPECT_EQ(text, "Die Datei /Sich/a.txt existiert bereits.");
  CopyTargetName = "/Sich/a.txt ";
  OsErrorText(32, text);
  EXPECT_EQ(text,
            "/Sich/a.txt \rAuf die Zieldatei ist kein Zugriff möglich. Sie ist vermutlich in "
            "Bearbeitung.");
  CopyTargetName = "/Sich/a.txt ";
  OsErrorText(19, text);
  EXPECT_EQ(text, "Fehler: /Sich/a.txt  ist schreibgeschützt.");

  // Without a failed copy the texts are still formed.
  OsErrorText(80, text);
  EXPECT_EQ(text, "Die Datei existiert bereits.");
  OsErrorText(5, text);
  EXPECT_EQ(text, "Auf die Datei  ist kein Zugriff möglich.");
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(ErrorTexts, LaunchCodesStartWithTheirDigits) {
  std::string text;
  OsErrorText(0, text);
  EXPECT_EQ(text, "0 The operating system is out of memory or resources.");
  OsErrorText(31, text);
  EXPECT_EQ(text, "31 There is no application associated with the given filename extension.");
  OsErrorText(112, text);
  EXPECT_EQ(text, "Der Datenträger ist voll.");
  for (int code : {0, 2, 3, 5, 8, 11, 19, 21, 26, 27, 29, 30, 31, 32, 80, 112, 267})
    EXPECT_TRUE(IsKnownErrorCode(code)) << code;
}

TEST_F(ErrorTexts, UnknownCodesAreShownAtOnce) {
  for (int code : {1, 28, 33, -1}) {
    std::string text = "unverändert";
    CopyTargetName = "/x ";
    OsErrorText(code, text);
    EXPECT_EQ(text, "unverändert");
    EXPECT_EQ(CopyTargetName, "");
    EXPECT_FALSE(IsKnownErrorCode(code));
  }
  ASSERT_EQ(ui_.boxes.size(), 4u);
  EXPECT_EQ(ui_.boxes[1].kind, "note");
  EXPECT_EQ(ui_.boxes[1].text, "\r\r28: Unbekannter Fehlercode");
  EXPECT_EQ(ui_.boxes[3].text, "\r\r-1: Unbekannter Fehlercode");
}

TEST_F(ErrorTexts, ShowOsError) {
  CopyTargetName = "/Sich/a.txt ";
  ShowOsError(19);
  ShowOsError(28);
  CopyTargetName = "/keep ";
  ShowOsError(4294967295u);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[0].text, "\r\rFehler: /Sich/a.txt  ist schreibgeschützt.");
  EXPECT_EQ(ui_.boxes[1].text, "\r\r28: Unbekannter Fehlercode");
  EXPECT_EQ(ui_.boxes[2].text, "\r\r4294967295: Unbekannter Fehlercode");
  EXPECT_EQ(CopyTargetName, "/keep ");
}

}  // namespace
