// The program's windows. The main window is made at the start; each other
// window is made when it is first asked for (most starts open none of
// them, and making them all would double the time to the first picture)
// and is kept until the end, so that a window opened again shows itself as
// it was left. Every other window gets what it needs when it is made or
// opened and reaches no other window's controls.
#pragma once

#include <memory>
#include <string>

struct AppState;
class TForm1;
class TFNeu;
class TFCheck;
class TFKopie;
class TFRest;
class TFSynNeu;
class Tabout;
class TFWieder;
class TFSyn;

// The main window of the running start (nullptr before CreateForms and
// after the end of its Forms).
extern TForm1* Form1;

// The windows of a start. Ending it destroys the windows made in the
// reverse order of the main window and the others as listed below, and
// clears Form1.
class Forms {
 public:
  Forms();
  ~Forms();
  Forms(const Forms&) = delete;
  Forms& operator=(const Forms&) = delete;

  TForm1* Main() const { return form1_.get(); }
  // The other windows, each made on the first call; nullptr when the
  // start was refused (another program holds the data folder) or these
  // windows are ending.
  TFNeu* Neu();
  TFCheck* Check();  // makes the completion window with it
  TFKopie* Kopie();
  TFRest* Rest();
  TFSynNeu* SynNeu();
  Tabout* About();
  TFWieder* Wieder();
  TFSyn* Syn();
  // How many of the other windows have been made so far.
  int MadeCount() const;

 private:
  friend std::unique_ptr<Forms> CreateForms(const std::string& lockName);
  // The main window's state, or nullptr when no other window may be made.
  AppState* State() const;

  bool ending_ = false;
  Forms* previous_ = nullptr;  // the start running when this one was made
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TFNeu> fneu_;
  std::unique_ptr<TFCheck> fcheck_;
  std::unique_ptr<TFKopie> fkopie_;
  std::unique_ptr<TFRest> frest_;
  std::unique_ptr<TFSynNeu> fsynneu_;
  std::unique_ptr<Tabout> fabout_;
  std::unique_ptr<TFWieder> fwieder_;
  std::unique_ptr<TFSyn> fsyn_;
};

// Creates the main window (which takes the single-instance lock of that
// name and loads the settings and the catalogue); the other windows follow
// when first asked for. The new Forms is the running start's until it ends.
std::unique_ptr<Forms> CreateForms(const std::string& lockName);

// The windows of the running start, made on first use; nullptr when there
// is no running start or it was refused.
TFNeu* FormNeu();
TFCheck* FormCheck();
TFKopie* FormKopie();
TFRest* FormRest();
TFSynNeu* FormSynNeu();
Tabout* FormAbout();
TFWieder* FormWieder();
TFSyn* FormSyn();
