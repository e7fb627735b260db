// A run on a thread of its own: its boxes and questions, and what it hands
// to the window's thread, arrive there in the order of the run. Built as a
// program of its own so that the ThreadSanitizer build can run it.
#include "widgets/qt_runthread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <deque>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records every call with the thread it came on; answers from a list.
class RecordingUi : public UserInterface {
 public:
  RecordingUi() { SetUserInterface(this); }
  ~RecordingUi() override { SetUserInterface(nullptr); }

  void Info(const std::string& text, bool beep) override {
    Note("info" + std::string(beep ? "+beep " : " ") + text);
  }
  void Note(const std::string& text) override {
    log.push_back(text);
    onGuiThread = onGuiThread && guithread::IsGuiThread();
  }
  bool YesNo(const std::string& text) override { return Answer("ask " + text); }
  bool YesNoDefaultNo(const std::string& text) override { return Answer("ask-no " + text); }
  AllAnswer YesNoAll(const std::string& text) override {
    return Answer("ask-all " + text) ? AllAnswer::YesAll : AllAnswer::NoAll;
  }
  bool ChooseDirectory(const std::string& prompt, std::string& dir) override {
    dir = "/gewählt";
    return Answer("dir " + prompt);
  }
  std::vector<std::string> ChooseFiles(const std::string& initialDir) override {
    Note("files " + initialDir);
    return {"/a", "/b"};
  }
  void Beep() override { Note("beep"); }

  std::vector<std::string> log;  // touched on the window thread only
  std::deque<bool> answers;
  bool onGuiThread = true;

 private:
  bool Answer(const std::string& text) {
    Note(text);
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
};

TEST(RunAside, BoxesQuestionsAndHandedWorkArriveOnTheWindowThreadInTheRunsOrder) {
  RecordingUi ui;
  ui.answers = {true, false, true, true};
  std::vector<std::string> answers;  // written by the run only
  bool runOnGuiThread = true;
  guithread::RunAside([&] {
    runOnGuiThread = guithread::IsGuiThread();
    for (int i = 0; i < 50; ++i) guithread::Post([&ui, i] { ui.log.push_back(std::to_string(i)); });
    ShowInfo("eins", 1);
    guithread::Post([&ui] { ui.log.push_back("post"); });
    answers.push_back(AskYesNo("zwei") ? "Ja" : "Nein");
    answers.push_back(AskYesNoDefaultNo("drei") ? "Ja" : "Nein");
    answers.push_back(AskYesNoAll("vier") == UserInterface::AllAnswer::YesAll ? "Ja, alle" : "?");
    std::string dir = "/alt";
    answers.push_back(::ChooseDirectory("fünf", dir) ? dir : "-");
    answers.push_back(std::to_string(CurrentUserInterface().ChooseFiles("/sechs").size()));
    ShowNote("sieben");
    guithread::Call([&ui] { ui.log.push_back("call"); });
  });
  EXPECT_FALSE(runOnGuiThread);
  EXPECT_TRUE(ui.onGuiThread);
  std::vector<std::string> expected;
  for (int i = 0; i < 50; ++i) expected.push_back(std::to_string(i));
  for (const std::string& line :
       {std::string("beep"), "info+beep " + WithLeadingBreaks("eins"), std::string("post"),
        std::string("ask zwei"), std::string("ask-no drei"), std::string("ask-all vier"),
        std::string("dir fünf"), std::string("files /sechs"), WithLeadingBreaks("sieben"),
        std::string("call")})
    expected.push_back(line);
  EXPECT_EQ(expected, ui.log);
  EXPECT_EQ((std::vector<std::string>{"Ja", "Nein", "Ja, alle", "/gewählt", "2"}), answers);
  // The interface of before answers again on this thread.
  EXPECT_EQ(&ui, &CurrentUserInterface());
}

TEST(RunAside, AFailureOfTheRunOrOfTheWindowsWorkComesBackToItsCaller) {
  RecordingUi ui;
  std::string caught;
  EXPECT_THROW(guithread::RunAside([&] {
                 try {
                   guithread::Call([] { throw std::runtime_error("im Fenster"); });
                 } catch (const std::runtime_error& e) {
                   caught = e.what();
                 }
                 throw std::runtime_error("im Lauf");
               }),
               std::runtime_error);
  EXPECT_EQ("im Fenster", caught);
  EXPECT_EQ(&ui, &CurrentUserInterface());
  // On the window thread a call runs at once.
  bool ran = false;
  guithread::Call([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(RunAside, TheWindowThreadHandlesItsEventsWhileTheRunWorks) {
  // The run waits for three ticks of a timer of the window thread: with
  // the window waiting for the run, none would come.
  std::atomic<int> ticks = 0;
  QTimer timer;
  timer.setInterval(1);
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start();
  bool sawTicks = false;
  guithread::RunAside([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ticks < 3 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sawTicks = ticks >= 3;
  });
  EXPECT_TRUE(sawTicks);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
