// The settings file: twelve (or more) text lines with fixed meanings.
#pragma once

#include <string>
#include <vector>

class toptionen {
 public:
  enum class LoadResult { Loaded, Missing, Unreadable };
  static constexpr int kNotWritten = -1;

  toptionen();  // twelve lines "0"
  // Reads GetIniFileName() (or the given path) when it exists, then pads to
  // twelve lines with "0".
  LoadResult LoadSettings(const std::string& path = std::string());
  // Writes all lines atomically (Windows-1252, CR LF). Result 0 or a Windows
  // error code. A settings file that exists but could not be read (or is
  // no plain file, such as a fifo) is never replaced: the result is then
  // kNotWritten.
  int SaveSettings(const std::string& path = std::string()) const;

  // A line that is not a signed 32-bit decimal reads as 0; BadLines() lists
  // such lines once each so that the start can tell the user.
  const std::vector<int>& BadLines() const { return badLines_; }

  void SetLastBackup(const std::string& name);
  bool GetLastBackup(std::string& name) const;
  void Setneuformpos(int left, int top, int width);
  void Getneuformpos(int& left, int& top, int& width);
  void SetMainFormPos(int left, int top);
  void GetMainFormPos(int& left, int& top);
  void SetKopFormPos(int left, int top, int width, int height);
  void GetKopFormPos(int& left, int& top, int& width, int& height);
  void SetCB1(bool checked);
  bool GetCB1() const;
  void SetCheckDirDate(bool checked);
  bool GetCheckDirDate() const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  int Number(int line);
  void SetNumber(int line, int value);
  std::vector<std::string> lines_;
  std::vector<int> badLines_;
  // The file the settings were loaded from could not be read.
  bool loadFailed_ = false;
};
