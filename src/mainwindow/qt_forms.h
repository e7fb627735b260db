// The program's windows, created once at start in this order and kept
// until the end. Windows reach each other through these pointers.
#pragma once

class TForm1;
class TFNeu;
class TFCheck;
class TFKopie;
class TFRest;
class TFSynNeu;
class Tabout;

extern TForm1* Form1;
extern TFNeu* FNeu;
extern TFCheck* FCheck;
extern TFKopie* FKopie;
extern TFRest* FRest;
extern TFSynNeu* FSynNeu;
extern Tabout* about;
