#include "base/codepage.h"

#include <gtest/gtest.h>

#include "support/core_support.h"

namespace {

TEST(Codepage, HighRangeRoundTripsByteForByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = cp1252::ToUtf8(all);
  bool lossless = false;
  EXPECT_EQ(cp1252::FromUtf8(utf8, &lossless), all);
  EXPECT_TRUE(lossless);
}

TEST(Codepage, SpecialCharactersOfTheHighRange) {
  EXPECT_EQ(cp1252::ToUtf8("\x80\x84\x8A\x8C\x8E\x96\x99\x9F"), "€„ŠŒŽ–™Ÿ");
  EXPECT_EQ(cp1252::ToUtf8("\xE4\xF6\xFC\xDF\xC4"), "äöüßÄ");
  // The unassigned codes stand for the C1 control of the same number.
  EXPECT_EQ(cp1252::ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(cp1252::FromUtf8("Größe: 5 €"),
            "Gr\xF6\xDF"
            "e: 5 \x80");
}

TEST(Codepage, UnrepresentableAndBrokenTextBecomesQuestionMarks) {
  bool lossless = true;
  EXPECT_EQ(cp1252::FromUtf8("a€ł😀b", &lossless), "a\x80??b");
  EXPECT_FALSE(lossless);
  // A broken sequence, an overlong form and a surrogate, one "?" per byte.
  EXPECT_EQ(cp1252::FromUtf8("x\xC3"
                             "y"),
            "x?y");
  EXPECT_EQ(cp1252::FromUtf8("\xC0\xAF"), "??");
  EXPECT_EQ(cp1252::FromUtf8("\xED\xA0\x80"), "???");
  EXPECT_TRUE(cp1252::IsRepresentable("Büro – “Sicherung” …"));
  EXPECT_FALSE(cp1252::IsRepresentable("Łódź"));
  EXPECT_FALSE(cp1252::IsRepresentable("\xFF"));
}

TEST(Text, LengthLeftMidCountCharactersNotBytes) {
  EXPECT_EQ(text::Length("Büro€"), 5u);
  EXPECT_EQ(text::Left("Büro€", 2), "Bü");
  EXPECT_EQ(text::Left("ab", 10), "ab");
  EXPECT_EQ(text::Mid("Büro€", 4), "€");
  EXPECT_EQ(text::Mid("ab", 5), "");
}

TEST(Text, UpperFollowsTheWindowsCodePage) {
  EXPECT_EQ(text::Upper("brief.txt"), "BRIEF.TXT");
  EXPECT_EQ(text::Upper("äöüàéþ"), "ÄÖÜÀÉÞ");
  EXPECT_EQ(text::Upper("šœžÿ"), "ŠŒŽŸ");
  // ß, ÷ and characters outside the code page stay.
  EXPECT_EQ(text::Upper("ß÷łµ"), "ß÷łµ");
  EXPECT_TRUE(text::SameText("Müller.DOC", "MÜLLER.doc"));
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(text::Trim(" \t\r\n Job 1 \x01"), "Job 1");
  EXPECT_EQ(text::Trim("   "), "");
  EXPECT_EQ(text::Trim("Büro"), "Büro");
}

TEST(TextFile, ReadsEveryKindOfLineEnd) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "a.txt", "eins\r\nzwei\rdrei\nvier\r\n\r\nB\xFCro");
  std::vector<std::string> lines;
  ASSERT_TRUE(textfile::ReadLines(dir / "a.txt", lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"eins", "zwei", "drei", "vier", "", "Büro"}));

  vktest::WriteFile(dir / "empty.txt", "");
  ASSERT_TRUE(textfile::ReadLines(dir / "empty.txt", lines));
  EXPECT_TRUE(lines.empty());

  int code = 0;
  EXPECT_FALSE(textfile::ReadLines(dir / "missing.txt", lines, &code));
  EXPECT_EQ(code, 2);
  // A folder cannot be read as a file.
  code = 0;
  EXPECT_FALSE(textfile::ReadLines(dir.path(), lines, &code));
  EXPECT_NE(code, 0);
  EXPECT_NE(code, 2);
}

TEST(TextFile, WritesWindows1252WithCrLfAndReplacesAtomically) {
  vktest::TempDir dir;
  ASSERT_EQ(textfile::WriteLines(dir / "l.lst", {"/home/Büro", "", "x😀"}), 0);
  EXPECT_EQ(vktest::ReadFile(dir / "l.lst"), "/home/B\xFCro\r\n\r\nx?\r\n");
  ASSERT_EQ(textfile::WriteLines(dir / "l.lst", {}), 0);
  EXPECT_TRUE(vktest::Exists(dir / "l.lst"));
  EXPECT_EQ(vktest::ReadFile(dir / "l.lst"), "");
  EXPECT_NE(textfile::WriteLines(dir / "no/such/folder.lst", {"a"}), 0);
}

TEST(TextFile, ReportsKeepEveryCharacterVisibleAndUnambiguous) {
  const std::pair<std::string, std::string> cases[] = {
      {"B\xC3\xBCro/a.txt", "B\xFCro/a.txt"},       // Windows-1252 stays as it is
      {"zwei\nZeilen.txt", "zwei[x0A]Zeilen.txt"},  // never a new line
      {"tab\tcr\r", "tab[x09]cr[x0D]"},             // other control characters
      {"\xE4\xB8\xAD.txt", "[U+4E2D].txt"},         // lacking in Windows-1252
      {"x\xF0\x9F\x98\x80", "x[U+01F600]"},         // beyond the first plane
      {"?.txt", "?.txt"},                           // a real "?" stays "?"
      {"kaputt\xFF", "kaputt[xFF]"},                // a broken UTF-8 byte
      {"[U+4E2D].txt", "[x5B]U+4E2D].txt"},         // a name that looks like a mark
      {"Foto [1].jpg", "Foto [1].jpg"},             // other brackets stay
  };
  for (const auto& [utf8, bytes] : cases) EXPECT_EQ(bytes, cp1252::FromUtf8Visible(utf8)) << utf8;
  vktest::TempDir dir;
  ASSERT_EQ(textfile::WriteLinesVisible(dir / "r.log", {"a\nb", "\xE4\xB8\xAD"}), 0);
  EXPECT_EQ(vktest::ReadFile(dir / "r.log"), "a[x0A]b\r\n[U+4E2D]\r\n");
}

}  // namespace
