// A run on a thread of its own. The window's thread keeps drawing and
// taking input while the run works; whatever the run asks of the desktop
// (boxes, questions, pickers) is carried over to the window's thread and
// answered there, in the order asked.
//
// What goes from one thread to the other passes through a queue guarded
// by a standard mutex, so the hand-over is plain to the ThreadSanitizer
// as well; Qt only wakes the window's thread to empty it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/errorbox.h"

namespace guithread {

// True on the thread of the program's windows.
bool IsGuiThread();

// Runs `fn` on the window thread and waits until it has returned (called
// there, it runs at once). An exception from `fn` is thrown again here.
void Call(const std::function<void()>& fn);

// Hands `fn` to the window thread and goes on. What one thread hands
// over with Post and Call runs in the order handed over.
void Post(std::function<void()> fn);

// Runs `work` on a new thread and returns when it has returned; until
// then this thread (the window's) handles its events. Meanwhile every box
// and question asked through the UserInterface port is shown on the window
// thread by the interface that was installed before. An exception from
// `work` is thrown again here.
void RunAside(const std::function<void()>& work);

}  // namespace guithread

// The UserInterface of a run on a thread of its own: each call made on
// another thread is answered by `inner` on the window thread.
class GuiThreadUserInterface : public UserInterface {
 public:
  explicit GuiThreadUserInterface(UserInterface& inner) : inner_(inner) {}

  void Info(const std::string& text, bool beep) override;
  void Note(const std::string& text) override;
  bool YesNo(const std::string& text) override;
  bool YesNoDefaultNo(const std::string& text) override;
  AllAnswer YesNoAll(const std::string& text) override;
  bool ChooseDirectory(const std::string& prompt, std::string& dir) override;
  std::vector<std::string> ChooseFiles(const std::string& initialDir) override;
  void Beep() override;

 private:
  UserInterface& inner_;
};
