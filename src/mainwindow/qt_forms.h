// The program's windows, created once at start in this order and kept
// until the end. The main window reaches the others through these
// pointers; every other window gets what it needs when it is created or
// opened and reaches no other window's controls.
#pragma once

#include <memory>
#include <string>

class TForm1;
class TFNeu;
class TFCheck;
class TFKopie;
class TFRest;
class TFSynNeu;
class Tabout;
class TFWieder;
class TFSyn;

extern TForm1* Form1;
extern TFNeu* FNeu;
extern TFCheck* FCheck;
extern TFKopie* FKopie;
extern TFRest* FRest;
extern TFSynNeu* FSynNeu;
extern Tabout* about;
extern TFWieder* FWieder;
extern TFSyn* FSyn;

// The windows of a start. Ending it destroys them in the reverse
// order and clears the pointers above.
class Forms {
 public:
  Forms();
  ~Forms();
  Forms(const Forms&) = delete;
  Forms& operator=(const Forms&) = delete;

  std::unique_ptr<TForm1> form1;
  std::unique_ptr<TFNeu> fneu;
  std::unique_ptr<TFCheck> fcheck;
  std::unique_ptr<TFKopie> fkopie;
  std::unique_ptr<TFRest> frest;
  std::unique_ptr<TFSynNeu> fsynneu;
  std::unique_ptr<Tabout> fabout;
  std::unique_ptr<TFWieder> fwieder;
  std::unique_ptr<TFSyn> fsyn;
};

// Creates the main window (which takes the single-instance lock of that
// name and loads the settings and the catalogue) and, unless the start was
// refused, the other windows with the main window's state.
std::unique_ptr<Forms> CreateForms(const std::string& lockName);
